#pragma once
// Files of the tests: whole files read and written, and temporary folders.
#include <filesystem>
#include <string>
#include <string_view>

namespace kov::test {

// The whole file as bytes ("" when it cannot be read).
std::string readBytes(const std::filesystem::path& path);
// Writes the bytes as the whole file (truncated in place when it exists), making its
// folder first.
void writeBytes(const std::filesystem::path& path, std::string_view bytes);

// A temporary folder of a test's own: made new and unique (mkdtemp, mode 0700) under the
// system's temporary folder, and removed with everything in it when the object ends,
// unless keep() was called (a failing test keeps its files to be looked at).
//
//   kov::test::TempDir dir("kov-ini");
//   writeBytes(dir / "KOV.INI", "...");
class TempDir {
public:
    // The folder's name starts with prefix; failing to make it raises std::runtime_error.
    explicit TempDir(const std::string& prefix = "kov-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::string str() const { return m_path.string(); }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return m_path / name; }
    // Leaves the folder in place (its path is printed) when the object ends.
    void keep() { m_keep = true; }

private:
    std::filesystem::path m_path;
    bool m_keep = false;
};

} // namespace kov::test

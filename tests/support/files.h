#pragma once
// Files of the tests: whole files read and written, temporary folders, and small real
// disks (tmpfs) to fill up or make read-only.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kov::test {

// The whole file as bytes ("" when it cannot be read).
std::string readBytes(const std::filesystem::path& path);
// Writes the bytes as the whole file (truncated in place when it exists), making its
// folder first.
void writeBytes(const std::filesystem::path& path, std::string_view bytes);
// The names in a folder, sorted (none when there is no such folder).
std::vector<std::string> fileNames(const std::filesystem::path& dir);

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

// A small tmpfs mounted at `at` (made first) while the object lives, with mount options
// such as "size=256k,mode=0755" and mount flags such as MS_RDONLY. Mounting needs root:
// elsewhere mounted() is false and the test skips.
class Tmpfs {
public:
    Tmpfs(const std::filesystem::path& at, const std::string& options, unsigned long flags = 0);
    ~Tmpfs() { unmount(); }
    Tmpfs(const Tmpfs&) = delete;
    Tmpfs& operator=(const Tmpfs&) = delete;

    bool mounted() const { return m_mounted; }
    // The mount point with a slash at its end.
    std::string root() const { return m_at.string() + "/"; }
    // Fills the disk with the file "fill" until only freeKiB are left.
    void fill(int freeKiB) const;
    void unmount();

private:
    std::filesystem::path m_at;
    bool m_mounted = false;
};

} // namespace kov::test

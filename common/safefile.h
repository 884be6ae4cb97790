#pragma once
// The one way the suite writes a file: into a new temporary file beside the final name,
// then flushed to the disk and renamed into place, so that the final name holds either
// the earlier file or the complete new one, never a part, and never a file that someone
// else linked there.
//
//   SafeFile out(folder, "OVL.TMP", "印刷ファイル", "OVL.TMP.part");
//   out.write(bytes);  // as often as needed
//   out.commit();      // flushed, renamed over OVL.TMP, the folder flushed
//
// The temporary is created new and exclusively, without following a link, readable and
// writable by the user only (0600). A fixed temporary name may be given: an entry of that
// name that an earlier run left (a file, or a link: never its target) is removed first.
// Without one the name is unique: "." + file name + "-XXXXXX.part". Every failure raises
// SafeFileError naming the file and the cause in Japanese, and removes the
// temporary; so does the destructor of a file not committed, and so does
// discardPendingFiles when the program ends at once (RuntimeServices::endProgram).
// Plain C++ (POSIX).
#include "runtimeerror.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace kov {

// A file that SafeFile could not make, write or put in place: a RuntimeError (FileError)
// whose detail names the file and the cause in Japanese; beside it the cause as errno
// (0 where the system gave none) and the file's final path, for a caller that words the
// cause itself (fileErrorText).
class SafeFileError : public RuntimeError {
public:
    SafeFileError(const std::string& detail, int error, std::string path);
    int error() const noexcept { return m_error; }
    const std::string& path() const noexcept { return m_path; }

private:
    int m_error;
    std::string m_path;
};

class SafeFile {
public:
    // `label` names the file in messages ("印刷ファイル", "PDF", "バックアップファイル").
    SafeFile(std::string folder, std::string fileName, std::string label, std::string tempName = {});
    // The same in a folder already open (`folder`, a descriptor that the file duplicates),
    // which `folderText` names in messages: what is written lands in that very folder,
    // whatever is mounted or linked at its path meanwhile.
    SafeFile(int folder, std::string folderText, std::string fileName, std::string label, std::string tempName = {});
    ~SafeFile();
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;

    // The descriptor of the open temporary (-1 once committed or discarded).
    int handle() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    std::string tempPath() const;
    std::string finalPath() const;

    // All the bytes, short writes retried.
    void write(std::string_view bytes);
    // Flushes the file to the disk, renames it over the final name (an existing file, or
    // a link itself, is replaced) and flushes the folder.
    void commit();
    // The same under `fileName` in the folder, but only when nothing has that name yet:
    // false, the file still open and uncommitted, when something has.
    bool commitAsNew(const std::string& fileName);
    // Closes and removes the temporary; nothing happens to the final name.
    void discard() noexcept;

private:
    [[noreturn]] void fail(const std::string& what, int err);
    [[noreturn]] void failNotOpen() const;
    void flushToDisk();
    void syncFolder();
    void create(const std::string& tempName);
    void createTemp(const std::string& tempName);
    void closeFolder() noexcept;

    std::string m_folder, m_fileName, m_label;
    std::string m_temp; // the temporary's name in the folder, empty when there is none
    int m_dir = -1; // the folder
    int m_fd = -1;
    std::size_t m_written = 0;
    bool m_flushed = false;
};

// Removes the temporaries of every file not yet committed (for a program that ends at
// once, where no destructor runs). Safe to call at any time; async-signal use aside.
void discardPendingFiles() noexcept;

// Makes `folder` (and what is missing above it) with mode 0700 and checks, as ssh does
// for its folders, that it is a folder of this user that no one else may write to
// (neither group nor others). Otherwise raises RuntimeError (FileError): `label`, the
// folder, what is wrong with it and what to do, in Japanese; nothing is written then.
void ensurePrivateFolder(const std::string& folder, const std::string& label);

} // namespace kov

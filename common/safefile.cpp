#include "safefile.h"

#include "fileerror.h"
#include "runtimeerror.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kov {

namespace {

// The files not yet committed, for discardPendingFiles.
struct Pending {
    std::mutex mutex;
    std::vector<SafeFile*> files;
};

Pending& pending()
{
    static Pending* p = new Pending; // never destroyed: used until the very end of the process
    return *p;
}

void enlist(SafeFile* f)
{
    const std::lock_guard lock(pending().mutex);
    pending().files.push_back(f);
}

void delist(SafeFile* f) noexcept
{
    const std::lock_guard lock(pending().mutex);
    auto& files = pending().files;
    files.erase(std::remove(files.begin(), files.end(), f), files.end());
}

std::string withoutTrailingSeparator(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

std::string joined(const std::string& folder, const std::string& name)
{
    return folder.empty() ? name : folder == "/" ? "/" + name : folder + "/" + name;
}

std::string ownerName(uid_t uid)
{
    if (const passwd* pw = ::getpwuid(uid); pw && pw->pw_name) return pw->pw_name;
    return "uid " + std::to_string(uid);
}

// mkdir with 0700, making what is missing above it first; errno of the failure or 0.
int makeFolders(const std::string& folder)
{
    if (::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) return 0;
    if (errno != ENOENT) return errno;
    const std::size_t slash = folder.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return ENOENT;
    if (const int err = makeFolders(folder.substr(0, slash)); err != 0) return err;
    if (::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) return 0;
    return errno;
}

} // namespace

SafeFile::SafeFile(std::string folder, std::string fileName, std::string label, std::string tempName)
    : m_folder(withoutTrailingSeparator(std::move(folder))), m_fileName(std::move(fileName)), m_label(std::move(label))
{
    m_dir = ::open(m_folder.empty() ? "." : m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_dir < 0) fail("を作成できません。", errno);
    create(tempName);
}

SafeFile::SafeFile(int folder, std::string folderText, std::string fileName, std::string label, std::string tempName)
    : m_folder(withoutTrailingSeparator(std::move(folderText))), m_fileName(std::move(fileName)),
      m_label(std::move(label))
{
    m_dir = ::fcntl(folder, F_DUPFD_CLOEXEC, 0);
    if (m_dir < 0) fail("を作成できません。", errno);
    create(tempName);
}

void SafeFile::create(const std::string& tempName)
{
    try {
        createTemp(tempName);
    } catch (...) {
        closeFolder(); // no destructor runs for a file that was never made
        throw;
    }
}

void SafeFile::createTemp(const std::string& tempName)
{
    if (m_fileName.empty() || m_fileName.find('/') != std::string::npos)
        throwInvalidArgument(m_label + "の名前「" + m_fileName + "」は使えません。");
    constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    if (!tempName.empty()) {
        m_temp = tempName;
        // What an earlier run left under this name goes, a link as a link; the exclusive
        // create refuses whatever appears there meanwhile.
        for (int attempt = 0; attempt < 3 && m_fd < 0; ++attempt) {
            if (::unlinkat(m_dir, m_temp.c_str(), 0) != 0 && errno != ENOENT) break;
            m_fd = ::openat(m_dir, m_temp.c_str(), kFlags, 0600);
            if (m_fd < 0 && errno != EEXIST) break;
        }
    } else {
        std::random_device random;
        for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
            char suffix[16];
            std::snprintf(suffix, sizeof suffix, "%06x", static_cast<unsigned>(random() & 0xffffffu));
            m_temp = "." + m_fileName + "-" + suffix + ".part";
            m_fd = ::openat(m_dir, m_temp.c_str(), kFlags, 0600);
            if (m_fd < 0 && errno != EEXIST) break;
        }
    }
    if (m_fd < 0) {
        const int err = errno;
        m_temp.clear();
        fail("を作成できません。", err);
    }
    enlist(this);
    // Exactly 0600, whatever the umask says.
    if (::fchmod(m_fd, 0600) != 0) fail("を作成できません。", errno);
}

SafeFile::~SafeFile()
{
    discard();
    closeFolder();
}

void SafeFile::closeFolder() noexcept
{
    if (m_dir >= 0) ::close(m_dir);
    m_dir = -1;
}

std::string SafeFile::finalPath() const { return joined(m_folder, m_fileName); }

std::string SafeFile::tempPath() const { return m_temp.empty() ? std::string() : joined(m_folder, m_temp); }

SafeFileError::SafeFileError(const std::string& detail, int error, std::string path)
    : RuntimeError(RuntimeErrorKind::FileError, detail), m_error(error), m_path(std::move(path))
{
}

void SafeFile::fail(const std::string& what, int err)
{
    // The clerk knows the file by its final name; the temporary is in the same folder.
    const std::string path = finalPath();
    discard();
    throw SafeFileError(m_label + "「" + path + "」" + what + fileErrorText(err), err, path);
}

void SafeFile::failNotOpen() const
{
    throw SafeFileError(m_label + "「" + finalPath() + "」は書き込みのために開かれていません。", EBADF, finalPath());
}

void SafeFile::write(std::string_view bytes)
{
    if (m_fd < 0) failNotOpen();
    while (!bytes.empty()) {
        const ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail("に書き込めません。", n < 0 ? errno : ENOSPC);
        bytes.remove_prefix(static_cast<std::size_t>(n));
        m_written += static_cast<std::size_t>(n);
    }
}

// On the disk, and as long as what was handed over: a file system that takes the bytes
// but cannot keep them tells it here.
void SafeFile::flushToDisk()
{
    if (m_fd < 0) failNotOpen();
    if (m_flushed) return;
    if (::fsync(m_fd) != 0) fail("に書き込めません。", errno);
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) fail("に書き込めません。", errno);
    if (static_cast<std::size_t>(st.st_size) != m_written) fail("に書き込めません。", ENOSPC);
    m_flushed = true;
}

void SafeFile::syncFolder()
{
    // Some file systems cannot flush a folder (EINVAL); the rename stands all the same.
    if (::fsync(m_dir) != 0 && errno != EINVAL) {
        const int err = errno;
        throw SafeFileError(m_label + "「" + finalPath() + "」を置けません。" + fileErrorText(err), err, finalPath());
    }
}

void SafeFile::commit()
{
    flushToDisk();
    if (::close(m_fd) != 0) {
        m_fd = -1;
        fail("に書き込めません。", errno);
    }
    m_fd = -1;
    if (::renameat(m_dir, m_temp.c_str(), m_dir, m_fileName.c_str()) != 0) fail("を置けません。", errno);
    m_temp.clear();
    delist(this);
    syncFolder();
}

bool SafeFile::commitAsNew(const std::string& fileName)
{
    if (fileName.empty() || fileName.find('/') != std::string::npos)
        throwInvalidArgument(m_label + "の名前「" + fileName + "」は使えません。");
    flushToDisk();
    m_fileName = fileName;
    const std::string target = finalPath();
    if (::renameat2(m_dir, m_temp.c_str(), m_dir, m_fileName.c_str(), RENAME_NOREPLACE) != 0) {
        if (errno == EEXIST) return false;
        if (errno != EINVAL && errno != ENOSYS) fail("を置けません。", errno);
        // A file system without the no-replace rename: a second link never replaces either.
        if (::linkat(m_dir, m_temp.c_str(), m_dir, m_fileName.c_str(), 0) != 0) {
            if (errno == EEXIST) return false;
            fail("を置けません。", errno);
        }
        ::unlinkat(m_dir, m_temp.c_str(), 0);
    }
    m_temp.clear();
    const int fd = m_fd;
    m_fd = -1;
    delist(this);
    const bool closed = ::close(fd) == 0;
    const int err = errno;
    if (!closed)
        throw SafeFileError(m_label + "「" + target + "」に書き込めません。" + fileErrorText(err), err, target);
    syncFolder();
    return true;
}

void SafeFile::discard() noexcept
{
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    if (!m_temp.empty() && m_dir >= 0) ::unlinkat(m_dir, m_temp.c_str(), 0);
    m_temp.clear();
    delist(this);
}

void discardPendingFiles() noexcept
{
    std::vector<SafeFile*> files;
    {
        const std::lock_guard lock(pending().mutex);
        files = pending().files;
    }
    for (SafeFile* f : files) f->discard();
}

void ensurePrivateFolder(const std::string& given, const std::string& label)
{
    const std::string folder = withoutTrailingSeparator(given);
    const std::string named = label + "「" + folder + "」";
    int err = makeFolders(folder);
    struct stat st {};
    if (err == 0 && ::stat(folder.c_str(), &st) != 0) err = errno;
    if (err == 0 && !S_ISDIR(st.st_mode)) err = ENOTDIR;
    if (err != 0) throwFileError(named + "を作成できません。" + fileErrorText(err));
    if (st.st_uid != ::geteuid())
        throwFileError(named + "は他の利用者（" + ownerName(st.st_uid) +
                       "）のフォルダです。自分のフォルダを指定するか、フォルダの持ち主を直してください。");
    if ((st.st_mode & 022) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        throwFileError(named + "は他の利用者も書き込めます（アクセス権 " + mode + "）。「chmod go-w " + folder +
                       "」で自分だけが書き込めるようにしてください。");
    }
}

} // namespace kov

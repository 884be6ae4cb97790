#include "safefile.h"

#include "fileerror.h"
#include "runtimeerror.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
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
    static Pending* p = new Pending;  // never destroyed: used until the very end of the process
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
    if (m_fileName.empty() || m_fileName.find('/') != std::string::npos)
        throwInvalidArgument(m_label + "の名前「" + m_fileName + "」は使えません。");
    if (!tempName.empty()) {
        m_temp = joined(m_folder, tempName);
        // What an earlier run left under this name goes, a link as a link; the exclusive
        // create refuses whatever appears there meanwhile.
        for (int attempt = 0; attempt < 3 && m_fd < 0; ++attempt) {
            if (::unlink(m_temp.c_str()) != 0 && errno != ENOENT) break;
            m_fd = ::open(m_temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (m_fd < 0 && errno != EEXIST) break;
        }
    } else {
        m_temp = joined(m_folder, "." + m_fileName + "-XXXXXX.part");
        m_fd = ::mkostemps(m_temp.data(), 5, O_CLOEXEC);
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

SafeFile::~SafeFile() { discard(); }

std::string SafeFile::finalPath() const { return joined(m_folder, m_fileName); }

void SafeFile::fail(const std::string& what, int err)
{
    // The clerk knows the file by its final name; the temporary is in the same folder.
    const std::string path = finalPath();
    discard();
    throwFileError(m_label + "「" + path + "」" + what + fileErrorText(err));
}

void SafeFile::write(std::string_view bytes)
{
    if (m_fd < 0) throwFileError(m_label + "「" + finalPath() + "」は書き込みのために開かれていません。");
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
    if (m_fd < 0) throwFileError(m_label + "「" + finalPath() + "」は書き込みのために開かれていません。");
    if (m_flushed) return;
    if (::fsync(m_fd) != 0) fail("に書き込めません。", errno);
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) fail("に書き込めません。", errno);
    if (static_cast<std::size_t>(st.st_size) != m_written) fail("に書き込めません。", ENOSPC);
    m_flushed = true;
}

void SafeFile::syncFolder()
{
    const int dir = ::open(m_folder.empty() ? "." : m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) throwFileError(m_label + "「" + finalPath() + "」を置けません。" + fileErrorText(errno));
    // Some file systems cannot flush a folder (EINVAL); the rename stands all the same.
    const int err = ::fsync(dir) == 0 || errno == EINVAL ? 0 : errno;
    ::close(dir);
    if (err != 0) throwFileError(m_label + "「" + finalPath() + "」を置けません。" + fileErrorText(err));
}

void SafeFile::commit()
{
    flushToDisk();
    if (::close(m_fd) != 0) {
        m_fd = -1;
        fail("に書き込めません。", errno);
    }
    m_fd = -1;
    if (::rename(m_temp.c_str(), finalPath().c_str()) != 0) fail("を置けません。", errno);
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
    if (::renameat2(AT_FDCWD, m_temp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
        if (errno == EEXIST) return false;
        if (errno != EINVAL && errno != ENOSYS) fail("を置けません。", errno);
        // A file system without the no-replace rename: a second link never replaces either.
        if (::link(m_temp.c_str(), target.c_str()) != 0) {
            if (errno == EEXIST) return false;
            fail("を置けません。", errno);
        }
        ::unlink(m_temp.c_str());
    }
    m_temp.clear();
    const int fd = m_fd;
    m_fd = -1;
    delist(this);
    const bool closed = ::close(fd) == 0;
    const int err = errno;
    if (!closed) throwFileError(m_label + "「" + target + "」に書き込めません。" + fileErrorText(err));
    syncFolder();
    return true;
}

void SafeFile::discard() noexcept
{
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    if (!m_temp.empty()) ::unlink(m_temp.c_str());
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

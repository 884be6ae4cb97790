#include "kov970/drives.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace kov {

DriveServices::~DriveServices() = default;

namespace {

namespace fs = std::filesystem;

struct Mount {
    unsigned major = 0, minor = 0;
    std::string root; // the folder of the file system that is mounted here
    std::string mountPoint; // without a trailing "/" (except "/" itself)
    std::string fsType;
};

// Mount table fields escape blank, tab, newline and backslash as \ooo.
std::string unescape(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto octal = [&](std::size_t k) { return k < s.size() && s[k] >= '0' && s[k] <= '7'; };
        if (s[i] == '\\' && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
            out += static_cast<char>(std::strtol(s.substr(i + 1, 3).c_str(), nullptr, 8));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

// The mount table in mount order; a mount point mounted over again keeps only its last
// (the visible) mount, at the place of that mount.
std::vector<Mount> readMounts(const std::string& path)
{
    std::vector<Mount> mounts;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, parent, devno, root, mountPoint, word;
        if (!(fields >> id >> parent >> devno >> root >> mountPoint)) continue;
        while (fields >> word && word != "-") {
        }
        Mount m;
        if (!(fields >> m.fsType)) continue;
        if (std::sscanf(devno.c_str(), "%u:%u", &m.major, &m.minor) != 2) continue;
        m.root = unescape(root);
        m.mountPoint = unescape(mountPoint);
        std::erase_if(mounts, [&](const Mount& earlier) { return earlier.mountPoint == m.mountPoint; });
        mounts.push_back(std::move(m));
    }
    return mounts;
}

std::string rootOf(const std::string& mountPoint) { return mountPoint.ends_with('/') ? mountPoint : mountPoint + "/"; }

std::string withoutSlash(const std::string& root)
{
    std::string p = root;
    while (p.size() > 1 && p.ends_with('/')) p.pop_back();
    return p;
}

std::string firstLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string s;
    std::getline(in, s);
    return s;
}

// Whether the folder is the root of a mounted file system (its parent lies on another
// one, or it is "/").
bool isMountRoot(const std::string& root)
{
    const std::string p = withoutSlash(root);
    struct stat self {
    }, parent{};
    if (::lstat(p.c_str(), &self) != 0 || !S_ISDIR(self.st_mode)) return false;
    if (::stat((p + "/..").c_str(), &parent) != 0) return false;
    return self.st_dev != parent.st_dev || self.st_ino == parent.st_ino;
}

std::optional<MediumIdentity> identityOf(int fd)
{
    struct stat st {};
    struct statvfs v {};
    if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode) || ::fstatvfs(fd, &v) != 0) return std::nullopt;
    MediumIdentity id;
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.fileSystem = static_cast<std::uint64_t>(v.f_fsid);
    id.totalBytes = static_cast<std::uint64_t>(v.f_blocks) * (v.f_frsize ? v.f_frsize : v.f_bsize);
    return id;
}

// The names in the open folder dir, without "." and ".."; nullopt when it cannot be read.
std::optional<std::vector<std::string>> entryNames(int dir)
{
    const int listFd = ::dup(dir);
    if (listFd < 0) return std::nullopt;
    DIR* d = ::fdopendir(listFd);
    if (!d) {
        ::close(listFd);
        return std::nullopt;
    }
    std::vector<std::string> names;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(d);
    return names;
}

bool clearFolder(int dir, dev_t dev);

// Removes the entry `name` of the open folder dir (on device dev): a folder with its
// contents, a link as a link, nothing of another file system. False when anything stayed.
bool removeEntry(int dir, const std::string& name, dev_t dev)
{
    struct stat st {};
    if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (st.st_dev != dev) return false; // a file system mounted here: not ours to clear
    if (!S_ISDIR(st.st_mode)) return ::unlinkat(dir, name.c_str(), 0) == 0;
    const int sub = ::openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat opened {};
    if (sub < 0 || ::fstat(sub, &opened) != 0 || opened.st_dev != st.st_dev || opened.st_ino != st.st_ino) {
        if (sub >= 0) ::close(sub);
        return false;
    }
    const bool cleared = clearFolder(sub, dev);
    ::close(sub);
    return cleared && ::unlinkat(dir, name.c_str(), AT_REMOVEDIR) == 0;
}

// Removes the entries of the open folder dir (on device dev). False when anything stayed.
bool clearFolder(int dir, dev_t dev)
{
    const auto names = entryNames(dir);
    if (!names) return false;
    bool all = true;
    for (const std::string& name : *names)
        if (!removeEntry(dir, name, dev)) all = false;
    return all;
}

class LinuxDrives : public DriveServices {
public:
    LinuxDrives(std::string mountInfoPath, std::string sysRoot)
        : m_mountInfoPath(std::move(mountInfoPath)), m_sysRoot(std::move(sysRoot))
    {
    }

    std::vector<std::string> logicalDrives() override
    {
        std::vector<std::string> roots;
        if (const auto given = givenDrives()) return *given;
        for (const Mount& m : readMounts(m_mountInfoPath)) roots.push_back(rootOf(m.mountPoint));
        return roots;
    }

    DriveType driveType(const std::string& root) override
    {
        if (const auto given = givenDrives())
            return std::find(given->begin(), given->end(), root) != given->end() ? DriveType::Removable
                                                                                 : DriveType::NoRootDir;
        for (const Mount& m : readMounts(m_mountInfoPath))
            if (rootOf(m.mountPoint) == root) return typeOf(m);
        return DriveType::NoRootDir;
    }

    std::optional<DiskSpace> diskSpace(const std::string& root) override
    {
        if (!medium(root)) return std::nullopt;
        struct statvfs v {};
        if (::statvfs(root.c_str(), &v) != 0) return std::nullopt;
        const std::uint64_t unit = v.f_frsize ? v.f_frsize : v.f_bsize;
        DiskSpace s;
        s.freeBytes = static_cast<std::uint64_t>(v.f_bavail) * unit;
        s.usedBytes = static_cast<std::uint64_t>(v.f_blocks - std::min(v.f_bfree, v.f_blocks)) * unit;
        s.blockBytes = unit;
        return s;
    }

    std::optional<MediumIdentity> medium(const std::string& root) override
    {
        if (root.empty() || !isMountRoot(root)) return std::nullopt;
        const int fd = ::open(withoutSlash(root).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) return std::nullopt;
        const auto id = identityOf(fd);
        ::close(fd);
        if (!id) return std::nullopt;
        // The visible mount at that folder must be this file system.
        std::error_code ec;
        const std::string at = fs::weakly_canonical(withoutSlash(root), ec).string();
        for (const Mount& m : readMounts(m_mountInfoPath))
            if ((m.mountPoint == at || m.mountPoint == withoutSlash(root)) &&
                static_cast<std::uint64_t>(::makedev(m.major, m.minor)) == id->device)
                return id;
        return std::nullopt;
    }

    std::optional<std::vector<std::string>> rootEntries(const std::string& root) override
    {
        DIR* d = ::opendir(root.c_str());
        if (!d) return std::nullopt;
        std::vector<std::string> names;
        while (const dirent* e = ::readdir(d))
            if (e->d_name[0] != '.') names.emplace_back(e->d_name);
        ::closedir(d);
        return names;
    }

    bool deleteAll(const std::string& root, const MediumIdentity& expected) override
    {
        if (root.empty() || withoutSlash(root) == "/") return false;
        const std::vector<std::string> drives = logicalDrives();
        if (std::find(drives.begin(), drives.end(), root) == drives.end()) return false;
        if (driveType(root) != DriveType::Removable || medium(root) != expected) return false;
        const int dir = openMediumRoot(root, expected);
        if (dir < 0) return false;
        struct stat st {};
        const bool cleared = ::fstat(dir, &st) == 0 && clearFolder(dir, st.st_dev);
        ::close(dir);
        return cleared;
    }

private:
    // The drives that KOV_REMOVABLE_DRIVES names, when it is set and not empty.
    static std::optional<std::vector<std::string>> givenDrives()
    {
        const char* env = std::getenv("KOV_REMOVABLE_DRIVES");
        if (!env || !*env) return std::nullopt;
        std::vector<std::string> roots;
        std::string list = env;
        std::size_t start = 0;
        while (start <= list.size()) {
            const std::size_t end = std::min(list.find(':', start), list.size());
            const std::string entry = list.substr(start, end - start);
            if (!entry.empty()) roots.push_back(rootOf(withoutSlash(entry)));
            start = end + 1;
        }
        return roots;
    }

    DriveType typeOf(const Mount& m) const
    {
        static const std::vector<std::string> remote = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "9p"};
        if (std::find(remote.begin(), remote.end(), m.fsType) != remote.end()) return DriveType::Remote;
        if (m.fsType == "tmpfs" || m.fsType == "ramfs") return DriveType::RamDisk;
        if (m.major == 0) return DriveType::Unknown;
        // A folder of a file system mounted somewhere else is not the root of a medium.
        if (m.root != "/") return DriveType::Unknown;
        std::error_code ec;
        fs::path dev = fs::canonical(
            fs::path(m_sysRoot) / "dev/block" / (std::to_string(m.major) + ":" + std::to_string(m.minor)), ec);
        if (ec) return DriveType::Fixed;
        // A partition: the flags belong to its disk.
        if (fs::exists(dev / "partition", ec)) dev = dev.parent_path();
        if (firstLine(dev / "device/type") == "5" || dev.filename().string().starts_with("sr")) return DriveType::CdRom;
        return firstLine(dev / "removable") == "1" ? DriveType::Removable : DriveType::Fixed;
    }

    std::string m_mountInfoPath;
    std::string m_sysRoot;
};

} // namespace

int openMediumRoot(const std::string& root, const MediumIdentity& expected)
{
    const int fd = ::open(withoutSlash(root).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return -1;
    if (identityOf(fd) != expected) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::unique_ptr<DriveServices> makeLinuxDrives(std::string mountInfoPath, std::string sysRoot)
{
    return std::make_unique<LinuxDrives>(std::move(mountInfoPath), std::move(sysRoot));
}

std::unique_ptr<DriveServices> makeSystemDrives() { return makeLinuxDrives("/proc/self/mountinfo", "/sys"); }

} // namespace kov

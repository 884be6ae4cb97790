#pragma once
// The drive functions: the drives of the computer and their kind, the free and used
// bytes of a medium, the entries of its root and the clearing of a removable medium.
// A platform seam beside the runtime services, kov970's own (no other program looks at
// drives): kov970 calls these and never the file system's drive interfaces itself;
// tests may stand in for it.
//
// Root paths end in "/" ("/media/kyuyo/STICK/"). On Linux the drives are the mounted
// file systems, in mount order; a file system counts as removable when the disk of its
// block device carries the removable flag (sysfs), optical drives excepted. The
// environment variable KOV_REMOVABLE_DRIVES (mount points separated by ":") replaces
// the detection: its entries are the drives, all removable, in the order given.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kov {

// The kinds of a drive, numbered as the desktop's drive functions number them.
enum class DriveType : int {
    Unknown = 0,
    NoRootDir = 1,
    Removable = 2,
    Fixed = 3,
    Remote = 4,
    CdRom = 5,
    RamDisk = 6,
};

// Bytes of a medium, free for the user and in use, and the unit a file takes them in.
struct DiskSpace {
    std::uint64_t freeBytes = 0;
    std::uint64_t usedBytes = 0;
    std::uint64_t blockBytes = 0;
};

// What tells one mounted medium from another that may be put in the same drive: the
// device and the file-system identity of the file system at the drive's root, and its size.
struct MediumIdentity {
    std::uint64_t device = 0; // st_dev
    std::uint64_t fileSystem = 0; // statvfs f_fsid
    std::uint64_t totalBytes = 0; // all blocks
    bool operator==(const MediumIdentity&) const = default;
};

// A medium of at most this many bytes in all is a floppy disk (a formatted 1.44 MB disk).
inline constexpr std::uint64_t kFloppyBytes = 1457664;

class DriveServices {
public:
    virtual ~DriveServices();

    // The root paths of all drives, in mount order.
    virtual std::vector<std::string> logicalDrives() = 0;
    virtual DriveType driveType(const std::string& root) = 0;
    // Nothing when the medium cannot be queried (none inserted, not mounted, no file system).
    virtual std::optional<DiskSpace> diskSpace(const std::string& root) = 0;
    // The identity of the medium in the drive: nothing unless root is the root of a file
    // system that the mount table lists as mounted there.
    virtual std::optional<MediumIdentity> medium(const std::string& root) = 0;
    // The names of the entries of the root that are not hidden (hidden: the name
    // begins with "."); nothing when the root cannot be read.
    virtual std::optional<std::vector<std::string>> rootEntries(const std::string& root) = 0;
    // Deletes every entry of the root, folders with their contents. Never follows a
    // symbolic link, never enters another file system mounted below the root, never
    // removes the root itself. Refuses (false, nothing touched) any path that is not the
    // root of a removable drive of logicalDrives(), and a root that no longer holds the
    // medium `expected`. False also when an entry could not be removed.
    virtual bool deleteAll(const std::string& root, const MediumIdentity& expected) = 0;
};

// The root folder of the medium `expected`, opened (a folder, no link followed): -1 when
// the folder at root is not that medium (any more). The caller closes it.
int openMediumRoot(const std::string& root, const MediumIdentity& expected);

// The drive functions of this computer.
std::unique_ptr<DriveServices> makeSystemDrives();

// The Linux drive functions over the given mount table and sysfs tree (tests point them
// at files of their own; the system's are /proc/self/mountinfo and /sys).
std::unique_ptr<DriveServices> makeLinuxDrives(std::string mountInfoPath, std::string sysRoot);

} // namespace kov

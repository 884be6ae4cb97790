#pragma once
// What a file is at one moment, from its stat: used to tell whether a cached reading
// of a file (a parsed settings file, an idle database connection) still stands for
// the file that the name gives now.
#include <cstdint>
#include <string>

namespace kov::tessera {

struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::int64_t ctimeNs = 0;
    bool directory = false;
    // Whether the file's last change lies far enough back that any later change (a
    // write, or a new file in its place, even on a reused inode) is bound to get other
    // times. File times come from a coarse clock: a change within the same tick may
    // keep them, so a file changed just now is never taken as unchanged.
    bool settled = false;

    // Same file, same content as far as the stat shows (settled is not compared).
    bool sameAs(const FileIdentity& other) const
    {
        return device == other.device && inode == other.inode && size == other.size && mtimeNs == other.mtimeNs &&
               ctimeNs == other.ctimeNs && directory == other.directory;
    }
};

// Stats `path` (following links). False when the file cannot be stat'ed (missing,
// a folder on the way missing, no permission).
bool identifyFile(const std::string& path, FileIdentity& out);

} // namespace kov::tessera

#include "tessera/fileidentity.h"

#include <sys/stat.h>
#include <time.h>

namespace kov::tessera {

namespace {
// How long after its last change a file counts as settled: well above the tick of the
// file time stamps (a few milliseconds), with room for a file server whose clock is
// slightly behind ours.
constexpr std::int64_t kSettleNs = 1'000'000'000;

std::int64_t nanoseconds(const timespec& t) { return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }
} // namespace

bool identifyFile(const std::string& path, FileIdentity& out)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    out.device = static_cast<std::uint64_t>(st.st_dev);
    out.inode = static_cast<std::uint64_t>(st.st_ino);
    out.size = static_cast<std::int64_t>(st.st_size);
    out.mtimeNs = nanoseconds(st.st_mtim);
    out.ctimeNs = nanoseconds(st.st_ctim);
    out.directory = S_ISDIR(st.st_mode);
    const std::int64_t lastChange = out.mtimeNs > out.ctimeNs ? out.mtimeNs : out.ctimeNs;
    out.settled = nanoseconds(now) - lastChange > kSettleNs;
    return true;
}

} // namespace kov::tessera

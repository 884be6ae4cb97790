#include "tessera/fileidentity.h"

#include <sys/stat.h>
#include <time.h>

namespace kov::tessera {

namespace {
// How long after its last change a file counts as settled: several ticks of the clock
// that stamps file times (at most 10 ms) on a file system with fine time stamps; on one
// that keeps whole seconds (or two, as FAT does), a few seconds.
constexpr std::int64_t kSettleFineNs = 50'000'000;
constexpr std::int64_t kSettleCoarseNs = 3'000'000'000;

std::int64_t nanoseconds(const timespec& t) { return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }
} // namespace

bool identifyFile(const std::string& path, FileIdentity& out)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    out.device = static_cast<std::uint64_t>(st.st_dev);
    out.inode = static_cast<std::uint64_t>(st.st_ino);
    out.size = static_cast<std::int64_t>(st.st_size);
    out.mtimeNs = nanoseconds(st.st_mtim);
    out.ctimeNs = nanoseconds(st.st_ctim);
    out.directory = S_ISDIR(st.st_mode);
    const std::int64_t lastChange = out.mtimeNs > out.ctimeNs ? out.mtimeNs : out.ctimeNs;
    const bool wholeSeconds = st.st_mtim.tv_nsec == 0 && st.st_ctim.tv_nsec == 0;
    out.settled = nanoseconds(now) - lastChange > (wholeSeconds ? kSettleCoarseNs : kSettleFineNs);
    return true;
}

} // namespace kov::tessera

#include "tessera/fileidentity.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <string_view>
#include <unordered_map>

namespace kov::tessera {

namespace {
// The batch of lookups of this thread: how deep, and whether its changes were read.
thread_local int t_batchDepth = 0;
thread_local bool t_batchDrained = false;

// How long after its last change a file counts as settled: several ticks of the clock
// that stamps file times (at most 10 ms) on a file system with fine time stamps; on one
// that keeps whole seconds (or two, as FAT does), a few seconds.
constexpr std::int64_t kSettleFineNs = 50'000'000;
constexpr std::int64_t kSettleCoarseNs = 3'000'000'000;

std::int64_t nanoseconds(const timespec& t) { return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }

void fill(const struct stat& st, FileIdentity& out)
{
    timespec now {};
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
}

// File systems whose every change, by any program, passes through this machine's
// kernel and so raises inotify events; a network share's changes made elsewhere would not.
bool changesSeenHere(long type)
{
    switch (static_cast<unsigned long>(type)) {
    case 0xEF53:      // ext2, ext3, ext4
    case 0x58465342:  // xfs
    case 0x9123683E:  // btrfs
    case 0x01021994:  // tmpfs
    case 0x2FC12FC1:  // zfs
    case 0xF2F52010:  // f2fs
        return true;
    default: return false;
    }
}

// The stats that identifyFile took, kept while inotify reports no change to the entry:
// a print run asks for the same two or three files on every line. A file's folder is
// watched for changes of its entries (writes, attributes, creation, removal, renames),
// and the folder and each folder above it for being moved or removed, so that a name
// that comes to lead elsewhere is stat'ed afresh. Each lookup first reads the pending
// events without waiting: a change that was made before the lookup has raised its
// event by then. Only absolute names without symbolic links on the way, on a local
// file system, are kept; any other name is stat'ed every time.
class StatCache {
public:
    bool lookup(const std::string& path, FileIdentity& out)
    {
        const std::lock_guard lock(m_mutex);
        if (!usable()) return statFresh(path, out);
        if (t_batchDepth == 0 || !t_batchDrained) {
            drain();
            t_batchDrained = t_batchDepth > 0;
        }
        if (!usable()) return statFresh(path, out);
        const std::size_t slash = path.rfind('/');
        if (path.empty() || path[0] != '/' || slash == std::string::npos || slash + 1 == path.size())
            return statFresh(path, out);
        const std::string dir = slash == 0 ? std::string("/") : path.substr(0, slash);
        const std::string name = path.substr(slash + 1);
        if (name == "." || name == "..") return statFresh(path, out);
        const auto d = m_folders.find(dir);
        if (d != m_folders.end()) {
            const auto e = d->second.entries.find(name);
            if (e != d->second.entries.end()) {
                if (!e->second.exists) return false;
                fill(e->second.st, out);
                return true;
            }
        }
        Folder* folder = d != m_folders.end() ? &d->second : watchFolder(dir);
        if (!folder) return statFresh(path, out);
        // The watch stands before the stat: a change after the stat raises an event.
        drain();
        if (m_fd < 0) return statFresh(path, out);
        Entry entry;
        if (::lstat(path.c_str(), &entry.st) == 0) {
            if (S_ISLNK(entry.st.st_mode) || S_ISDIR(entry.st.st_mode)) return statFresh(path, out);
            entry.exists = true;
        } else if (errno != ENOENT) {
            return statFresh(path, out);
        }
        if (m_folders.find(dir) == m_folders.end()) return entry.exists ? (fill(entry.st, out), true) : false;
        if (m_folders[dir].entries.size() < kMaxEntries) m_folders[dir].entries[name] = entry;
        if (!entry.exists) return false;
        fill(entry.st, out);
        return true;
    }

private:
    static constexpr std::size_t kMaxEntries = 64;
    static constexpr std::size_t kMaxFolders = 16;
    static constexpr std::uint32_t kEntryEvents = IN_MODIFY | IN_ATTRIB | IN_CREATE | IN_DELETE |
                                                  IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;
    static constexpr std::uint32_t kSelfEvents = IN_DELETE_SELF | IN_MOVE_SELF;

    struct Entry {
        bool exists = false;
        struct stat st {};
    };
    struct Folder {
        int wd = -1;
        std::unordered_map<std::string, Entry> entries;
    };

    static bool statFresh(const std::string& path, FileIdentity& out)
    {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) return false;
        fill(st, out);
        return true;
    }

    bool usable()
    {
        if (m_fd == -1) m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_fd < 0) m_fd = -2;  // no inotify here: every lookup stats
        return m_fd >= 0;
    }

    // Forgets every kept stat (the watches stay).
    void forgetAll()
    {
        for (auto& [dir, folder] : m_folders) folder.entries.clear();
    }

    void drain()
    {
        alignas(struct inotify_event) char buf[4096];
        for (;;) {
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n <= 0) {
                if (n < 0 && errno == EINTR) continue;
                if (n < 0 && errno != EAGAIN) forgetAll();
                return;
            }
            for (ssize_t off = 0; off < n;) {
                const auto* ev = reinterpret_cast<const struct inotify_event*>(buf + off);
                off += static_cast<ssize_t>(sizeof(struct inotify_event) + ev->len);
                handle(*ev);
            }
            if (m_reset) {
                m_reset = false;
                reset();
                return;
            }
        }
    }

    void handle(const struct inotify_event& ev)
    {
        if (ev.mask & IN_Q_OVERFLOW) { forgetAll(); return; }
        const auto w = m_byWatch.find(ev.wd);
        if (w == m_byWatch.end()) return;
        if ((ev.mask & (kSelfEvents | IN_IGNORED)) || w->second.ancestor) {
            // A folder on the way moved or went: every kept name may lead elsewhere now,
            // and the watches are set up afresh.
            m_reset = true;
            return;
        }
        const auto d = m_folders.find(w->second.dir);
        if (d == m_folders.end()) return;
        if (ev.len > 0) d->second.entries.erase(std::string(ev.name));
        else d->second.entries.clear();
    }

    // Closes the watches and forgets every kept stat; the next lookup watches anew.
    void reset()
    {
        ::close(m_fd);
        m_fd = -1;
        m_folders.clear();
        m_ancestors.clear();
        m_byWatch.clear();
    }

    // Watches `dir` (the folder of kept names) and every folder above it; nullptr when the
    // folder cannot be watched or kept.
    Folder* watchFolder(const std::string& dir)
    {
        if (m_folders.size() >= kMaxFolders) return nullptr;
        char real[PATH_MAX];
        if (!::realpath(dir.c_str(), real) || dir != real) return nullptr;  // links on the way
        struct statfs fs {};
        if (::statfs(dir.c_str(), &fs) != 0 || !changesSeenHere(fs.f_type)) return nullptr;
        for (std::size_t end = dir.rfind('/'); end != std::string::npos && end > 0; end = dir.rfind('/', end - 1)) {
            if (!watchAncestor(dir.substr(0, end))) return nullptr;
        }
        if (!watchAncestor("/")) return nullptr;
        const int wd = ::inotify_add_watch(m_fd, dir.c_str(), kEntryEvents | IN_ONLYDIR);
        if (wd < 0) return nullptr;
        const auto w = m_byWatch.find(wd);
        if (w != m_byWatch.end() && w->second.ancestor) {
            // Already watched as a folder above another: the one watch serves both ways.
            m_ancestors.erase(w->second.dir);
        }
        m_byWatch[wd] = Watch{dir, false};
        Folder& f = m_folders[dir];
        f.wd = wd;
        return &f;
    }

    bool watchAncestor(const std::string& dir)
    {
        if (m_folders.count(dir) || m_ancestors.count(dir)) return true;
        const int wd = ::inotify_add_watch(m_fd, dir.c_str(), kSelfEvents | IN_ONLYDIR | IN_MASK_ADD);
        if (wd < 0) return false;
        if (m_byWatch.count(wd)) return true;  // the folder is watched already under this name
        m_byWatch[wd] = Watch{dir, true};
        m_ancestors[dir] = wd;
        return true;
    }

    struct Watch {
        std::string dir;
        bool ancestor = false;
    };
    std::mutex m_mutex;
    int m_fd = -1;
    bool m_reset = false;
    std::unordered_map<std::string, Folder> m_folders;
    std::unordered_map<std::string, int> m_ancestors;
    std::unordered_map<int, Watch> m_byWatch;
};

StatCache& statCache()
{
    static StatCache cache;
    return cache;
}
} // namespace

bool identifyFile(const std::string& path, FileIdentity& out) { return statCache().lookup(path, out); }

IdentifyBatch::IdentifyBatch()
{
    if (t_batchDepth++ == 0) t_batchDrained = false;
}

IdentifyBatch::~IdentifyBatch() { --t_batchDepth; }

} // namespace kov::tessera

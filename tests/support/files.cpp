#include "tests/support/files.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace kov::test {

namespace fs = std::filesystem;

std::string readBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeBytes(const fs::path& path, std::string_view bytes)
{
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TempDir::TempDir(const std::string& prefix)
{
    std::string pattern = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder " + pattern);
    m_path = pattern;
}

TempDir::~TempDir()
{
    if (m_keep) {
        std::fprintf(stderr, "kept for inspection: %s\n", m_path.c_str());
        return;
    }
    std::error_code ec;
    fs::remove_all(m_path, ec);
}

std::vector<std::string> fileNames(const fs::path& dir)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

Tmpfs::Tmpfs(const fs::path& at, const std::string& options, unsigned long flags) : m_at(at)
{
    fs::create_directories(at);
    m_mounted = ::geteuid() == 0 && ::mount("tmpfs", at.c_str(), "tmpfs", flags, options.c_str()) == 0;
}

void Tmpfs::fill(int freeKiB) const
{
    const fs::path fill = m_at / "fill";
    const int fd = ::open(fill.c_str(), O_WRONLY | O_CREAT, 0644);
    if (fd < 0) throw std::runtime_error("cannot fill " + m_at.string());
    static const char zeros[4096] = {};
    while (::write(fd, zeros, sizeof zeros) > 0) {
    }
    const off_t full = ::lseek(fd, 0, SEEK_END);
    const int rc = ::ftruncate(fd, std::max<off_t>(0, full - off_t{freeKiB} * 1024));
    ::close(fd);
    if (rc != 0) throw std::runtime_error("cannot fill " + m_at.string());
}

void Tmpfs::unmount()
{
    if (m_mounted) ::umount2(m_at.c_str(), MNT_DETACH);
    m_mounted = false;
}

} // namespace kov::test

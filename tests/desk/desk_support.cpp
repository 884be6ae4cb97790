#include "desk_support.h"

#include <algorithm>
#include <regex>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace kov::desk {

using namespace std::chrono_literals;
using e2e::shellOutput;
using test::readBytes;
using test::writeBytes;

namespace {

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

// B4 landscape: 364 x 257 mm, in cells of 1/15 inch and lines of 1/6 inch.
constexpr double kCells = 364.0 / 25.4 * 15.0;
constexpr double kLines = 257.0 / 25.4 * 6.0;

} // namespace

double Picture::inkShare(double fx0, double fy0, double fx1, double fy1) const
{
    const int x0 = static_cast<int>(fx0 * w), x1 = static_cast<int>(fx1 * w);
    const int y0 = static_cast<int>(fy0 * h), y1 = static_cast<int>(fy1 * h);
    long ink = 0, all = 0;
    for (int y = std::max(0, y0); y < std::min(h, y1); ++y)
        for (int x = std::max(0, x0); x < std::min(w, x1); ++x, ++all)
            ink += px[static_cast<std::size_t>(y) * w + x] < 128;
    return all ? static_cast<double>(ink) / all : 0.0;
}

double Picture::lightShare(int light) const
{
    long n = 0;
    for (unsigned char p : px) n += p >= light;
    return px.empty() ? 0.0 : static_cast<double>(n) / px.size();
}

Picture Picture::rotatedClockwise() const
{
    Picture r;
    r.w = h;
    r.h = w;
    r.px.resize(px.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            r.px[static_cast<std::size_t>(x) * r.w + (h - 1 - y)] = px[static_cast<std::size_t>(y) * w + x];
    return r;
}

static Picture readPgm(const fs::path& pgm)
{
    const std::string bytes = readBytes(pgm);
    std::size_t at = 0;
    auto token = [&]() {
        while (at < bytes.size() && std::isspace(static_cast<unsigned char>(bytes[at]))) ++at;
        const std::size_t s = at;
        while (at < bytes.size() && !std::isspace(static_cast<unsigned char>(bytes[at]))) ++at;
        return bytes.substr(s, at - s);
    };
    Picture p;
    if (token() != "P5") return p;
    const int w = std::stoi(token()), h = std::stoi(token());
    if (std::stoi(token()) != 255) return p;
    ++at;
    if (bytes.size() < at + static_cast<std::size_t>(w) * h) return p;
    p.w = w;
    p.h = h;
    p.px.assign(bytes.begin() + static_cast<long>(at),
                bytes.begin() + static_cast<long>(at) + static_cast<long>(w) * h);
    return p;
}

Picture renderPdfPage(const fs::path& pdf, int page, int dpi, const fs::path& work)
{
    const fs::path out = work / "page";
    shellOutput("pdftoppm -gray -r " + std::to_string(dpi) + " -f " + std::to_string(page) + " -l " +
                std::to_string(page) + " -singlefile " + quoted(pdf) + " " + quoted(out) + " 2>/dev/null");
    return readPgm(work / "page.pgm");
}

Picture screenshot(const std::string& display, const fs::path& png, const fs::path& work)
{
    shellOutput("import -display " + display + " -window root " + quoted(png) + " 2>/dev/null");
    shellOutput("convert " + quoted(png) + " -colorspace Gray -depth 8 " + quoted(work / "screen.pgm") +
                " 2>/dev/null");
    return readPgm(work / "screen.pgm");
}

int pagesOnView(const Picture& screen, int x, int y, int w, int h, int minArea)
{
    x = std::max(0, x), y = std::max(0, y);
    w = std::min(w, screen.w - x), h = std::min(h, screen.h - y);
    if (w <= 0 || h <= 0) return 0;
    auto at = [&](int i, int j) { return screen.px[static_cast<std::size_t>(y + j) * screen.w + x + i]; };
    const int grey = at(2, 2);
    std::vector<char> seen(static_cast<std::size_t>(w) * h, 0);
    std::vector<std::pair<int, int>> stack;
    // A pixel inside the rectangle that differs from the grey and was not seen yet goes on the stack.
    const auto visit = [&](int i, int j) {
        if (i < 0 || j < 0 || i >= w || j >= h) return;
        char& s = seen[static_cast<std::size_t>(j) * w + i];
        if (s || std::abs(at(i, j) - grey) <= 8) return;
        s = 1;
        stack.emplace_back(i, j);
    };
    int pages = 0;
    for (int j0 = 0; j0 < h; ++j0)
        for (int i0 = 0; i0 < w; ++i0) {
            int area = 0;
            for (visit(i0, j0); !stack.empty(); ++area) {
                const auto [i, j] = stack.back();
                stack.pop_back();
                for (const auto& [di, dj] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) visit(i + di, j + dj);
            }
            pages += area > 0 && area >= minArea;
        }
    return pages;
}

std::string waitForVisibleWindow(const std::string& display, const std::string& nameRegex, e2e::Process& prog,
                                 std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (prog.running() && std::chrono::steady_clock::now() < end) {
        std::string w = e2e::xdotool(display, "search --onlyvisible --name '" + nameRegex + "'");
        if (auto nl = w.find('\n'); nl != std::string::npos) w.resize(nl);
        if (!w.empty()) return w;
        std::this_thread::sleep_for(100ms);
    }
    return {};
}

int visibleWindows(const std::string& display, const std::string& nameRegex)
{
    const std::string list = e2e::xdotool(display, "search --onlyvisible --name '" + nameRegex + "'");
    return static_cast<int>(std::count(list.begin(), list.end(), '\n'));
}

Rect windowRect(const std::string& display, const std::string& window)
{
    const std::string info = shellOutput("xwininfo -display " + display + " -id " + window + " 2>/dev/null");
    auto field = [&](const char* name) {
        std::smatch m;
        return std::regex_search(info, m, std::regex(std::string(name) + R"(:\s+(-?\d+))")) ? std::stoi(m[1]) : 0;
    };
    return {field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"), field("Height")};
}

void clickIn(const std::string& display, const std::string& window, int x, int y)
{
    e2e::xdotool(display,
                 "mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y) + " click 1");
}

int pdfPages(const fs::path& pdf)
{
    std::smatch m;
    const std::string info = shellOutput("pdfinfo " + quoted(pdf) + " 2>/dev/null");
    return std::regex_search(info, m, std::regex(R"(Pages:\s+(\d+))")) ? std::stoi(m[1]) : -1;
}

std::pair<double, double> pdfPageSizeMm(const fs::path& pdf)
{
    std::smatch m;
    const std::string info = shellOutput("pdfinfo " + quoted(pdf) + " 2>/dev/null");
    if (!std::regex_search(info, m, std::regex(R"(Page size:\s+([\d.]+) x ([\d.]+) pts)"))) return {0, 0};
    return {std::stod(m[1]) * 25.4 / 72, std::stod(m[2]) * 25.4 / 72};
}

double cellInk(const Picture& page, double x0, double y0, double x1, double y1)
{
    return page.inkShare(x0 / kCells, y0 / kLines, x1 / kCells, y1 / kLines);
}

std::string printServerUnavailable()
{
#if defined(__SANITIZE_ADDRESS__)
    return "the sanitizer build leaves the desk to the normal build";
#endif
    if (!fs::exists("/usr/sbin/cupsd")) return "cups is not installed (tools/install-deps.sh installs it)";
    if (!fs::exists("/usr/lib/cups/backend/cups-pdf"))
        return "printer-driver-cups-pdf is not installed (tools/install-deps.sh installs it)";
    if (geteuid() != 0) return "the cups-pdf backend runs only under a print server started as root";
    return {};
}

PrintServer::PrintServer()
{
    const fs::path d = m_folder.path();
    // The daemon's filters run as the user lp: the folders must be open to it.
    chmod(d.c_str(), 0755);
    for (const char* sub : {"etc", "spool", "cache", "state", "log", "out", "pdfspool", "tmp"})
        fs::create_directories(d / sub);
    chmod((d / "tmp").c_str(), 01777);
    m_socket = (d / "cups.sock").string();
    writeBytes(d / "etc/cupsd.conf",
               "Listen " + m_socket +
                   "\nLogLevel debug\nWebInterface No\nBrowsing Off\nDefaultAuthType None\n"
                   "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                   "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n");
    writeBytes(d / "etc/cups-files.conf",
               "ServerRoot " + (d / "etc").string() + "\nRequestRoot " + (d / "spool").string() + "\nCacheDir " +
                   (d / "cache").string() + "\nStateDir " + (d / "state").string() + "\nTempDir " +
                   (d / "tmp").string() + "\nAccessLog " + (d / "log/access_log").string() + "\nErrorLog " +
                   (d / "log/error_log").string() + "\nPageLog " + (d / "log/page_log").string() + "\nPrintcap " +
                   (d / "printcap").string() + "\nFileDevice No\n");
    // The daemon under a watch that stops it with the test, and clears up after a test
    // that was killed: the daemon, the queues' settings and the folder.
    const char* watch = "/usr/sbin/cupsd -f -c \"$2\" -s \"$3\" & c=$!\n"
                        "trap 'kill $c; wait $c; rm -f /etc/cups/cups-pdf-\"$4\"*.conf; exit 0' TERM\n"
                        "while kill -0 \"$1\" 2>/dev/null && kill -0 $c 2>/dev/null; do sleep 0.2; done\n"
                        "kill $c 2>/dev/null; wait $c; rm -f /etc/cups/cups-pdf-\"$4\"*.conf\n"
                        "kill -0 \"$1\" 2>/dev/null || rm -rf \"$5\"\n";
    m_prefix = "kovdesk" + std::to_string(getpid());
    m_daemon = std::make_unique<e2e::Process>(
        std::vector<std::string>{"/bin/sh", "-c", watch, "sh", std::to_string(getpid()),
                                 (d / "etc/cupsd.conf").string(), (d / "etc/cups-files.conf").string(), m_prefix,
                                 d.string()},
        e2e::currentEnvironment(), (d / "log/daemon.log").string());
    for (int i = 0; i < 100; ++i) {
        if (m_daemon->running() && client("lpstat -r").find("is running") != std::string::npos) return;
        if (!m_daemon->running()) break;
        std::this_thread::sleep_for(100ms);
    }
    m_error = "the print server did not start:\n" + readBytes(d / "log/daemon.log") + readBytes(d / "log/error_log");
}

PrintServer::~PrintServer()
{
    // The watch removes the queues' settings (cups-pdf reads them from the system's folder only).
    if (m_daemon) m_daemon->stop();
}

bool PrintServer::addQueue(const std::string& suffix, bool refusesJobs)
{
    const fs::path d = m_folder.path();
    const std::string name = queue(suffix);
    m_queues.push_back(name);
    writeBytes("/etc/cups/cups-pdf-" + name + ".conf",
               "Out " + (d / "out").string() + "\nAnonDirName " + (d / "out").string() + "\nSpool " +
                   (d / "pdfspool").string() + "\nLog " + (d / "log").string() + "\nGrp root\nLabel 1\n");
    client("lpadmin -p " + name + " -v cups-pdf:/" + name + " -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd -E" +
           (refusesJobs ? " -u allow:kov_nobody" : ""));
    if (m_queues.size() == 1) client("lpadmin -d " + name);
    return client("lpstat -p " + name).find("enabled") != std::string::npos;
}

std::string PrintServer::client(const std::string& command) const
{
    return shellOutput("CUPS_SERVER='" + m_socket + "' " + command + " 2>&1");
}

std::vector<fs::path> PrintServer::waitForPdfs(std::size_t count, std::chrono::seconds limit) const
{
    const auto end = std::chrono::steady_clock::now() + limit;
    std::vector<fs::path> pdfs;
    do {
        pdfs.clear();
        for (const auto& e : fs::directory_iterator(received()))
            if (e.path().extension() == ".pdf") pdfs.push_back(e.path());
        if (pdfs.size() >= count && client("lpstat -o").empty()) break;
        std::this_thread::sleep_for(200ms);
    } while (std::chrono::steady_clock::now() < end);
    std::sort(pdfs.begin(), pdfs.end());
    return pdfs;
}

std::string PrintServer::pageLog() const { return readBytes(m_folder.path() / "log/page_log"); }

} // namespace kov::desk

#pragma once
// Support for the desk tests: a print server of the test alone (its own CUPS daemon with
// cups-pdf queues), pictures of PDF pages and of the screen, and where a report's cells
// lie on them.
#include "e2e_support.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace kov::desk {

namespace fs = std::filesystem;

// A grey picture; a pixel darker than half is ink.
struct Picture {
    int w = 0, h = 0;
    std::vector<unsigned char> px;

    // The share of ink in the rectangle given as fractions of the width and the height.
    double inkShare(double fx0, double fy0, double fx1, double fy1) const;
    // The share of pixels lighter than `light` (0..255) in the whole picture.
    double lightShare(int light) const;
    Picture rotatedClockwise() const;
};

// Page `page` of a PDF at `dpi` (pdftoppm).
Picture renderPdfPage(const fs::path& pdf, int page, int dpi, const fs::path& work);
// The whole screen of an X display (ImageMagick's import).
Picture screenshot(const std::string& display, const fs::path& png, const fs::path& work);

// The number of pages laid out side by side on a preview: the patches that differ from
// the grey of the view behind them (sampled at its top-left corner), each larger than
// minArea pixels, inside the rectangle (x, y, w, h) of the screen.
int pagesOnView(const Picture& screen, int x, int y, int w, int h, int minArea);

// A visible window whose name matches the extended regular expression, waited for up to
// `limit` while prog runs; empty when none came.
std::string waitForVisibleWindow(const std::string& display, const std::string& nameRegex, e2e::Process& prog,
                                 std::chrono::milliseconds limit);
// The number of visible windows whose name matches.
int visibleWindows(const std::string& display, const std::string& nameRegex);
// The inner rectangle of a window on the screen: x, y, width, height.
struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
};
Rect windowRect(const std::string& display, const std::string& window);
// Clicks at (x, y) inside the window.
void clickIn(const std::string& display, const std::string& window, int x, int y);

int pdfPages(const fs::path& pdf);
// Width and height of the first page in millimetres.
std::pair<double, double> pdfPageSizeMm(const fs::path& pdf);

// The ink in the report cells [x0, x1) of the lines band (y0, y1] of a B4 landscape page
// upright before us (x in half-width cells of 1/15 inch, y in lines of 1/6 inch).
double cellInk(const Picture& page, double x0, double y0, double x1, double y1);

// Why the print server cannot run here (empty when it can): cups or cups-pdf missing,
// not root (the cups-pdf backend runs only under a daemon started as root), or the
// sanitizer build (the desk is tried once, by the normal build).
std::string printServerUnavailable();

// A CUPS daemon of the test alone: configuration, spool and socket in a temporary folder
// (CUPS_SERVER names the socket), stopped when the object goes. Its queues print through
// cups-pdf into received().
class PrintServer {
public:
    PrintServer();
    ~PrintServer();
    PrintServer(const PrintServer&) = delete;
    PrintServer& operator=(const PrintServer&) = delete;

    // Empty when the daemon runs; else what went wrong, with its log.
    const std::string& error() const { return m_error; }
    const std::string& socket() const { return m_socket; }
    // "CUPS_SERVER=<socket>", for the environment of a program.
    std::string environmentEntry() const { return "CUPS_SERVER=" + m_socket; }
    fs::path received() const { return m_folder.path() / "out"; }

    // Adds a cups-pdf queue named queue(suffix); with refusesJobs one that takes jobs from no user of this
    // machine (it lists as a printer that accepts jobs, and refuses each job handed to it).
    // The first queue added becomes the default printer.
    bool addQueue(const std::string& suffix, bool refusesJobs = false);
    // The name of the queue added with suffix (the names are the test's own).
    std::string queue(const std::string& suffix) const { return m_prefix + suffix; }
    // A client command (lpstat, lpadmin, cupsreject ...) against this daemon; its output.
    std::string client(const std::string& command) const;
    // Waits until no job is pending and `count` PDFs were received; the PDFs in name order.
    std::vector<fs::path> waitForPdfs(std::size_t count, std::chrono::seconds limit) const;
    // The daemon's page log (one line a finished job: queue, user, job, time, pages ...).
    std::string pageLog() const;

private:
    e2e::TempFolder m_folder;
    std::string m_socket;
    std::string m_error;
    std::string m_prefix;
    std::vector<std::string> m_queues;
    std::unique_ptr<e2e::Process> m_daemon;
};

} // namespace kov::desk

// The output of the print engine tried for real, from the allowance record of a saved
// command file.
//
// Printer: a print server of the test's own (CUPS with cups-pdf queues), Output=printer.
// The queue must have received two B4 pages with the report landscape and its texts
// where the command file put them (cups-pdf keeps no text layer, so the pages are looked
// at as pictures). A printer that is missing, rejects jobs or refuses this job is a stop
// message naming it, and nothing is printed.
//
// Opened: with Open=yes the finished PDF is handed to the desktop's opener (xdg-open,
// with a viewer script of the test at the platform seam), and an opener that fails or is
// missing is a message naming the PDF, while the report counts as printed; a desktop
// without any viewer for PDF files is told once a run. "~/" in PdfFolder is the user's
// home folder.
#include "desk_support.h"

#include "common/tests/scriptedruntime.h"
#include "overlayprint/overlayprintengine.h"

#include <gtest/gtest.h>

#include <QGuiApplication>

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace kov::overlayprint;
using kov::desk::cellInk;

struct Job {
    std::int32_t rc = 0;
    std::vector<kov::RecordedMessage> messages;
};

// An off-screen application for the engine, and the saved command file as the OVL.TMP of
// folder, which is the settings folder (KOV_INI_DIR).
void prepareEngine(const fs::path& folder)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "desk_printer_test";
    static char* argv[] = {name, nullptr};
    if (!QGuiApplication::instance()) new QGuiApplication(argc, argv);
    fs::copy_file(fs::path(KOV_TEST_DATA_DIR) / "ovlprint-kov120-monthly.tmp", folder / "OVL.TMP");
    setenv("KOV_INI_DIR", folder.c_str(), 1);
}

// One print run as a program makes it: the settings, a new engine, PrtFile.
Job printTo(const fs::path& work, const std::string& printer)
{
    std::ofstream(work / "OVLPRINT.INI", std::ios::binary)
        << "[Print]\r\nOutput=printer\r\nPrinter=" << printer << "\r\nOverlayFolder=" << KOV_BIN_DIR << "\r\n";
    kov::ScriptedRuntime rt(KOV_BIN_DIR);
    OverlayPrintEngine engine(rt);
    engine.setPrintFIlePath(work.string());
    Job job;
    job.rc = engine.PrtFile("KOV120", "期末勤勉手当支給調書印刷", "KOV120p.ovl");
    job.messages = rt.messages;
    return job;
}

TEST(DeskPrinter, ReportReachesTheQueueAndRefusalsAreStopMessages)
{
    if (const std::string why = kov::desk::printServerUnavailable(); !why.empty()) GTEST_SKIP() << why;
    kov::desk::PrintServer server;
    ASSERT_EQ(server.error(), "");
    ASSERT_TRUE(server.addQueue("")) << server.client("lpstat -t");
    ASSERT_TRUE(server.addQueue("_refusing", true)) << server.client("lpstat -t");
    const std::string queue = server.queue(""), refusing = server.queue("_refusing");
    setenv("CUPS_SERVER", server.socket().c_str(), 1);

    const kov::e2e::TempFolder work;
    prepareEngine(work.path());

    const Job printed = printTo(work.path(), queue);
    ASSERT_EQ(printed.rc, kPrtDone) << (printed.messages.empty() ? "" : printed.messages.front().text);
    EXPECT_TRUE(printed.messages.empty());
    const std::vector<fs::path> pdfs = server.waitForPdfs(1, 60s);
    ASSERT_EQ(pdfs.size(), 1u) << server.client("lpstat -W all -o") << server.pageLog();

    // The job: two pages of B4 (JIS, 257 x 364 mm).
    EXPECT_NE(server.pageLog().find("total 2 "), std::string::npos) << server.pageLog();
    EXPECT_NE(server.pageLog().find("JISB4"), std::string::npos) << server.pageLog();
    EXPECT_EQ(kov::desk::pdfPages(pdfs[0]), 2);
    const auto [wMm, hMm] = kov::desk::pdfPageSizeMm(pdfs[0]);
    EXPECT_NEAR(std::min(wMm, hMm), 257.0, 2.0);
    EXPECT_NEAR(std::max(wMm, hMm), 364.0, 2.0);

    // The first page: fed portrait, the report lies on it landscape; turned upright, its
    // texts stand in their cells and the band between the date and the title stays blank.
    kov::desk::Picture page = kov::desk::renderPdfPage(pdfs[0], 1, 50, work.path());
    ASSERT_GT(page.w, 0);
    if (page.w < page.h) page = page.rotatedClockwise();
    struct Cell {
        const char* text;
        double x0, y0, x1, y1;
    };
    for (const Cell& c : std::vector<Cell>{{"令和 8年12月 (TE 14.0 3.5)", 14.5, 2.6, 25.5, 3.4},
                                           {"5 -  1 (TE 178.0 4.5)", 179.0, 3.6, 184.5, 4.4},
                                           {"佐藤　花子 (TE 3.0 9.5)", 3.5, 8.6, 12.5, 9.4},
                                           {"313,300 (TE 19.0 9.5)", 24.5, 8.6, 30.5, 9.4}})
        EXPECT_GT(cellInk(page, c.x0, c.y0, c.x1, c.y1), 0.04) << c.text;
    EXPECT_LT(cellInk(page, 30, 0.3, 80, 2.3), 0.001) << "ink in the blank band above the table";

    // Refusals: a stop message naming the printer, -4, and nothing reaches a queue.
    struct Refusal {
        const char* what;
        std::string printer;
        bool rejecting; // the queue rejects jobs while it is tried
    };
    const Refusal refusals[] = {
        {"missing", "kov_no_such_printer", false},
        {"rejecting jobs", queue, true},
        {"refusing this job", refusing, false},
    };
    for (const Refusal& r : refusals) {
        if (r.rejecting) server.client("cupsreject " + queue);
        const Job job = printTo(work.path(), r.printer);
        if (r.rejecting) server.client("cupsaccept " + queue);
        EXPECT_EQ(job.rc, kPrtOutputError) << r.what;
        ASSERT_EQ(job.messages.size(), 1u) << r.what;
        EXPECT_EQ(job.messages[0].icon, kov::MsgIcon::Stop) << r.what;
        EXPECT_NE(job.messages[0].text.find("「" + r.printer + "」"), std::string::npos) << job.messages[0].text;
    }
    EXPECT_EQ(server.waitForPdfs(2, 2s).size(), 1u) << "a refused job was printed";
    unsetenv("KOV_INI_DIR");
}

TEST(DeskOpen, FinishedPdfOpensOrTheFailureIsTold)
{
    const kov::e2e::TempFolder t;
    const fs::path opened = t.path() / "opened";
    prepareEngine(t.path());
    setenv("HOME", (t.path() / "home").c_str(), 1);
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
    // The desktop's choice of viewer: its own folders of the test (xdg-mime and xdg-open
    // of the system read them), with or without a viewer for PDF files, which is a script
    // that notes the file it was given.
    const fs::path xdg = t.path() / "xdg";
    setenv("XDG_DATA_HOME", (xdg / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (xdg / "config").c_str(), 1);
    setenv("XDG_DATA_DIRS", (xdg / "none").c_str(), 1);
    setenv("XDG_CONFIG_DIRS", (xdg / "none").c_str(), 1);
    setenv("DISPLAY", ":99", 1); // only looked at by xdg-open: the engine draws off-screen
    const auto writeScript = [](const fs::path& file, const std::string& body) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << "#!/bin/sh\n" << body << "\n";
        fs::permissions(file, fs::perms::owner_all);
    };

    struct Case {
        const char* what;
        const char* open;
        const char* viewer; // the viewer's body, or no viewer for PDF files
        const char* opener; // the body of an xdg-open of the test, "system", or none on the PATH
        int prints;
        const char* message; // in the one message shown, or none
    };
    const Case cases[] = {
        {"Open=no", "no", "printf %s \"$1\" > OPENED", "system", 1, nullptr},
        {"opened", "yes", "printf %s \"$1\" > OPENED", "system", 1, nullptr},
        {"viewer still showing", "yes", "printf %s \"$1\" > OPENED; sleep 4", "system", 1, nullptr},
        {"opener fails", "yes", "printf %s \"$1\" > OPENED", "echo \"xdg-open: no method available\" >&2; exit 3", 1,
         "xdg-open の終了状態 3）"},
        // Told once a run, without calling the opener.
        {"no viewer", "yes", nullptr, "printf %s \"$1\" > OPENED", 2, "PDF を見るプログラムがない"},
        {"no opener", "yes", nullptr, nullptr, 1, "xdg-open が見つかりません"},
    };
    for (const Case& c : cases) {
        for (const fs::path& p : {t.path() / "bin", xdg, opened}) fs::remove_all(p);
        for (const fs::path& p : {t.path() / "bin", xdg / "config", xdg / "data/applications"})
            fs::create_directories(p);
        const auto withOpened = [&](std::string body) {
            if (const auto at = body.find("OPENED"); at != std::string::npos)
                body.replace(at, 6, "'" + opened.string() + "'");
            return body;
        };
        if (c.viewer) {
            writeScript(t.path() / "bin/viewer", withOpened(c.viewer));
            std::ofstream(xdg / "data/applications/kovtestviewer.desktop")
                << "[Desktop Entry]\nType=Application\nName=Viewer\nExec=" << (t.path() / "bin/viewer").string()
                << " %f\nMimeType=application/pdf;\n";
            std::ofstream(xdg / "config/mimeapps.list")
                << "[Default Applications]\napplication/pdf=kovtestviewer.desktop\n";
        }
        const bool system = c.opener && std::string(c.opener) == "system";
        if (c.opener && !system) writeScript(t.path() / "bin/xdg-open", withOpened(c.opener));
        setenv("PATH", ((t.path() / "bin").string() + (c.opener ? ":" + path : "")).c_str(), 1);
        std::ofstream(t.path() / "OVLPRINT.INI", std::ios::binary)
            << "[Print]\r\nOutput=pdf\r\nPdfFolder=~/帳票\r\nOpen=" << c.open << "\r\nOverlayFolder=" << KOV_BIN_DIR
            << "\r\n";
        kov::ScriptedRuntime rt(KOV_BIN_DIR);
        std::string first;
        for (int i = 0; i < c.prints; ++i) {
            OverlayPrintEngine engine(rt);
            engine.setPrintFIlePath(t.path().string());
            EXPECT_EQ(engine.PrtFile("KOV120", "期末勤勉手当支給調書印刷", "KOV120p.ovl"), kPrtDone) << c.what;
            EXPECT_EQ(fs::path(engine.lastOutputPath()).parent_path(), t.path() / "home" / "帳票") << c.what;
            if (i == 0) first = engine.lastOutputPath();
            // Every PDF is told to the desktop, which shows it where it offers notifications.
            ASSERT_EQ(rt.notifications.size(), static_cast<std::size_t>(i + 1)) << c.what;
            EXPECT_EQ(rt.notifications.back().second,
                      "帳票「KOV120」を PDF「" + engine.lastOutputPath() + "」に保存しました。");
        }
        setenv("PATH", path.c_str(), 1);

        std::ifstream in(opened);
        const std::string got{std::istreambuf_iterator<char>(in), {}};
        EXPECT_EQ(got, std::string(c.open) == "yes" && c.viewer && !c.message ? first : "") << c.what;
        if (!c.message) {
            EXPECT_TRUE(rt.messages.empty()) << c.what << ": " << rt.messages.front().text;
            continue;
        }
        ASSERT_EQ(rt.messages.size(), 1u) << c.what;
        EXPECT_EQ(rt.messages[0].icon, kov::MsgIcon::Exclamation) << c.what;
        EXPECT_NE(rt.messages[0].text.find(first), std::string::npos) << rt.messages[0].text;
        EXPECT_NE(rt.messages[0].text.find(c.message), std::string::npos) << rt.messages[0].text;
        // The clerk reads Japanese: what the opener said in English is for standard error.
        EXPECT_EQ(rt.messages[0].text.find("no method"), std::string::npos) << rt.messages[0].text;
    }
    for (const char* v : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_DIRS", "DISPLAY"})
        unsetenv(v);
    unsetenv("KOV_INI_DIR");
}

} // namespace

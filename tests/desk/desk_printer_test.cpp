// The printer output tried for real: a print server of the test's own (CUPS with cups-pdf
// queues) and the allowance record of a saved command file printed through the engine with
// Output=printer. The queue must have received two B4 pages with the report landscape and
// its texts where the command file put them (cups-pdf keeps no text layer, so the pages are
// looked at as pictures). A printer that is missing, rejects jobs or refuses this job is a
// stop message naming it, and nothing is printed.
#include "desk_support.h"

#include "common/tests/scriptedruntime.h"
#include "overlayprint/overlayprintengine.h"

#include <gtest/gtest.h>

#include <QGuiApplication>

#include <cstdlib>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace kov::overlayprint;
using kov::desk::cellInk;

struct Job {
    std::int32_t rc = 0;
    std::vector<kov::RecordedMessage> messages;
};

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

    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "desk_printer_test";
    static char* argv[] = {name, nullptr};
    if (!QGuiApplication::instance()) new QGuiApplication(argc, argv);

    const kov::e2e::TempFolder work;
    fs::copy_file(fs::path(KOV_TEST_DATA_DIR) / "ovlprint-kov120-monthly.tmp", work.path() / "OVL.TMP");
    setenv("KOV_INI_DIR", work.path().c_str(), 1);

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

} // namespace

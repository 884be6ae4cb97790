// The preview output tried for real: kov120 over the demo database under an X server with a
// window manager (openbox), Output=preview. F6 opens the preview, which shows the report's
// pages (the screenshot has paper and ink; its overview lays out as many pages as the PDF of
// the same command file has); printing from it reaches the test's own cups-pdf queue with
// those pages; after it the report screen is back and enabled: F6 opens the preview again,
// Escape closes it, F10 ends the program with status 0. Screenshots stay in the test's
// folder while it runs (preview.png, overview.png).
#include "desk_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using kov::e2e::Process;

std::string readAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(DeskPreview, ShowsThePagesPrintsAndReturnsToTheScreen)
{
    if (const std::string why = kov::desk::printServerUnavailable(); !why.empty()) GTEST_SKIP() << why;
    if (!fs::exists("/usr/bin/openbox")) GTEST_SKIP() << "openbox is not installed (tools/install-deps.sh installs it)";
    kov::desk::PrintServer server;
    ASSERT_EQ(server.error(), "");
    ASSERT_TRUE(server.addQueue("")) << server.client("lpstat -t");

    const kov::e2e::TempFolder folder;
    const fs::path demo = folder.path() / "demo", app = folder.path() / "app", work = folder.path() / "work";
    kov::e2e::shellOutput(std::string(KOV_BIN_DIR) + "/kovgendemo --out '" + demo.string() + "' >/dev/null 2>&1");
    ASSERT_TRUE(fs::exists(demo / "KOV.INI"));
    std::ofstream(demo / "OVLPRINT.INI", std::ios::binary)
        << "[Print]\r\nOutput=preview\r\nOverlayFolder=" << KOV_BIN_DIR << "\r\n";
    fs::create_directories(app);
    fs::copy_file(fs::path(KOV_BIN_DIR) / "kov120", app / "kov120");

    kov::e2e::XServer x; // with openbox on it
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    const std::string d = x.display();
    std::vector<std::string> env = kov::e2e::programEnvironment(d, folder.path() / "tmp");
    env.push_back(server.environmentEntry());
    env.push_back("KOV_INI_DIR=" + demo.string());
    env.push_back("KOV_WORK_DIR=" + work.string());

    const std::string log = (folder.path() / "kov120.log").string();
    Process prog({(app / "kov120").string(), "2"}, env, log);
    const std::string caption = "期末勤勉手当支給調書印刷";
    const std::string screen = kov::desk::waitForVisibleWindow(d, "^" + caption + "$", prog, 20s);
    ASSERT_FALSE(screen.empty()) << readAll(log);
    kov::e2e::xdotool(d, "windowfocus --sync " + screen);
    std::this_thread::sleep_for(300ms);
    // Monthly-paid; Tab to the block list, space selects the first block; F6 prints.
    kov::e2e::pressKeys(d, {"Tab", "space", "F6"});
    const std::string preview = kov::desk::waitForVisibleWindow(d, caption + " - KOV120", prog, 30s);
    ASSERT_FALSE(preview.empty()) << readAll(log);
    std::this_thread::sleep_for(1500ms);

    // The PDF of the same command file, for its page count.
    const fs::path cmd = work / "kov120" / "OVL.TMP";
    ASSERT_TRUE(fs::exists(cmd));
    kov::e2e::shellOutput(std::string(KOV_BIN_DIR) + "/ovlprint '" + cmd.parent_path().string() +
                          "' KOV120 KOV120p.ovl --pdf '" + (folder.path() / "same.pdf").string() + "' >/dev/null 2>&1");
    const int pages = kov::desk::pdfPages(folder.path() / "same.pdf");
    ASSERT_GT(pages, 1);

    // Paper and ink on the preview; then its overview (the third button of the view
    // group of the tool bar) lays out every page.
    const kov::desk::Rect r = kov::desk::windowRect(d, preview);
    const auto shot = kov::desk::screenshot(d, folder.path() / "preview.png", folder.path());
    const double area = static_cast<double>(shot.w) * shot.h;
    const auto inDialog = [&](double share) { return share * area / (static_cast<double>(r.w) * r.h); };
    EXPECT_GT(inDialog(shot.lightShare(250)), 0.2) << "no paper on the preview";
    EXPECT_GT(inDialog(shot.inkShare(0, 0, 1, 1)), 0.005) << "no ink on the preview";
    kov::desk::clickIn(d, preview, 575, 14);
    std::this_thread::sleep_for(1500ms);
    const auto overview = kov::desk::screenshot(d, folder.path() / "overview.png", folder.path());
    EXPECT_EQ(kov::desk::pagesOnView(overview, r.x + 4, r.y + 45, r.w - 8, r.h - 60, 20000), pages)
        << "see overview.png";

    // Print from the preview: the print dialog prints to the default printer.
    kov::desk::clickIn(d, preview, 647, 14);
    const std::string dialog = kov::desk::waitForVisibleWindow(d, "^Print", prog, 10s);
    ASSERT_FALSE(dialog.empty()) << readAll(log);
    kov::e2e::xdotool(d, "windowfocus --sync " + dialog);
    kov::e2e::pressKeys(d, {"Return"});
    const auto received = server.waitForPdfs(1, 60s);
    ASSERT_EQ(received.size(), 1u) << server.client("lpstat -W all -o");
    EXPECT_EQ(kov::desk::pdfPages(received[0]), pages);

    // Back on the report screen, enabled: the wait screen is gone, F6 opens the preview again.
    if (!kov::desk::waitForVisibleWindow(d, caption + " - KOV120", prog, 1s).empty())
        kov::e2e::xdotool(d, "key --window " + preview + " Escape");
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(kov::desk::visibleWindows(d, "^" + caption + "$"), 1) << "the wait screen is still shown";
    kov::e2e::xdotool(d, "windowfocus --sync " + screen);
    kov::e2e::pressKeys(d, {"F6"});
    const std::string again = kov::desk::waitForVisibleWindow(d, caption + " - KOV120", prog, 30s);
    ASSERT_FALSE(again.empty()) << "the report screen did not take F6 after the preview";
    kov::e2e::xdotool(d, "windowfocus --sync " + again);
    kov::e2e::pressKeys(d, {"Escape"});
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(kov::desk::visibleWindows(d, caption + " - KOV120"), 0);
    kov::e2e::xdotool(d, "windowfocus --sync " + screen);
    kov::e2e::pressKeys(d, {"F10"});
    EXPECT_EQ(prog.waitFor(20s), 0) << readAll(log);
}

} // namespace

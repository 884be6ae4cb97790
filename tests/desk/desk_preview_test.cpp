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
using namespace kov::desk;
using namespace kov::e2e;
using kov::test::readBytes;

TEST(DeskPreview, ShowsThePagesPrintsAndReturnsToTheScreen)
{
    if (const std::string why = printServerUnavailable(); !why.empty()) GTEST_SKIP() << why;
    if (!fs::exists("/usr/bin/openbox")) GTEST_SKIP() << "openbox is not installed (tools/install-deps.sh installs it)";
    PrintServer server;
    ASSERT_EQ(server.error(), "");
    ASSERT_TRUE(server.addQueue("")) << server.client("lpstat -t");

    const TempFolder folder;
    const fs::path demo = folder.path() / "demo", app = folder.path() / "app", work = folder.path() / "work";
    shellOutput(std::string(KOV_BIN_DIR) + "/kovgendemo --out '" + demo.string() + "' >/dev/null 2>&1");
    ASSERT_TRUE(fs::exists(demo / "KOV.INI"));
    std::ofstream(demo / "OVLPRINT.INI", std::ios::binary)
        << "[Print]\r\nOutput=preview\r\nOverlayFolder=" << KOV_BIN_DIR << "\r\n";
    fs::create_directories(app);
    fs::copy_file(fs::path(KOV_BIN_DIR) / "kov120", app / "kov120");

    XServer x; // with openbox on it
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    const std::string d = x.display();
    std::vector<std::string> env = programEnvironment(d, folder.path() / "tmp");
    env.push_back(server.environmentEntry());
    env.push_back("KOV_INI_DIR=" + demo.string());
    env.push_back("KOV_WORK_DIR=" + work.string());

    const std::string log = (folder.path() / "kov120.log").string();
    Process prog({(app / "kov120").string(), "2"}, env, log);
    const std::string caption = "期末勤勉手当支給調書印刷";
    const std::string screen = waitForVisibleWindow(d, "^" + caption + "$", prog, 20s);
    ASSERT_FALSE(screen.empty()) << readBytes(log);
    const auto keysTo = [&d](const std::string& window, const std::vector<std::string>& keys, bool settle = false) {
        xdotool(d, "windowfocus --sync " + window);
        if (settle) std::this_thread::sleep_for(300ms);
        pressKeys(d, keys);
    };
    // Monthly-paid; Tab to the block list, space selects the first block; F6 prints.
    keysTo(screen, {"Tab", "space", "F6"}, true);
    const std::string preview = waitForVisibleWindow(d, caption + " - KOV120", prog, 30s);
    ASSERT_FALSE(preview.empty()) << readBytes(log);
    std::this_thread::sleep_for(1500ms);

    // The PDF of the same command file, for its page count.
    const fs::path cmd = work / "kov120" / "OVL.TMP";
    ASSERT_TRUE(fs::exists(cmd));
    shellOutput(std::string(KOV_BIN_DIR) + "/ovlprint '" + cmd.parent_path().string() + "' KOV120 KOV120p.ovl --pdf '" +
                (folder.path() / "same.pdf").string() + "' >/dev/null 2>&1");
    const int pages = pdfPages(folder.path() / "same.pdf");
    ASSERT_GT(pages, 1);

    // Paper and ink on the preview; then its overview (the third button of the view
    // group of the tool bar) lays out every page.
    const Rect r = windowRect(d, preview);
    const auto shot = screenshot(d, folder.path() / "preview.png", folder.path());
    const double area = static_cast<double>(shot.w) * shot.h;
    const auto inDialog = [&](double share) { return share * area / (static_cast<double>(r.w) * r.h); };
    EXPECT_GT(inDialog(shot.lightShare(250)), 0.2) << "no paper on the preview";
    EXPECT_GT(inDialog(shot.inkShare(0, 0, 1, 1)), 0.005) << "no ink on the preview";
    clickIn(d, preview, 575, 14);
    std::this_thread::sleep_for(1500ms);
    const auto overview = screenshot(d, folder.path() / "overview.png", folder.path());
    EXPECT_EQ(pagesOnView(overview, r.x + 4, r.y + 45, r.w - 8, r.h - 60, 20000), pages) << "see overview.png";

    // Print from the preview: the print dialog prints to the default printer.
    clickIn(d, preview, 647, 14);
    const std::string dialog = waitForVisibleWindow(d, "^Print", prog, 10s);
    ASSERT_FALSE(dialog.empty()) << readBytes(log);
    keysTo(dialog, {"Return"});
    const auto received = server.waitForPdfs(1, 60s);
    ASSERT_EQ(received.size(), 1u) << server.client("lpstat -W all -o");
    EXPECT_EQ(pdfPages(received[0]), pages);

    // Back on the report screen, enabled: the wait screen is gone, F6 opens the preview again.
    if (!waitForVisibleWindow(d, caption + " - KOV120", prog, 1s).empty())
        xdotool(d, "key --window " + preview + " Escape");
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(visibleWindows(d, "^" + caption + "$"), 1) << "the wait screen is still shown";
    keysTo(screen, {"F6"});
    const std::string again = waitForVisibleWindow(d, caption + " - KOV120", prog, 30s);
    ASSERT_FALSE(again.empty()) << "the report screen did not take F6 after the preview";
    keysTo(again, {"Escape"});
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(visibleWindows(d, caption + " - KOV120"), 0);
    keysTo(screen, {"F10"});
    EXPECT_EQ(prog.waitFor(20s), 0) << readBytes(log);
}

} // namespace

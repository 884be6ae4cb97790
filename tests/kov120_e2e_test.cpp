// kov120 from end to end: the real program, started under its own X server (Xvfb) over a
// fixture database, under a window manager, driven by key presses (xdotool): Alt+F4 and
// a minimise on the background and on the screen, choose the daily-paid group, select
// two blocks, print with F6, end with F10. The command file must match its golden file, the print
// engine must have made a PDF whose text poppler reads, and the program must end with
// status 0.
#include "common/runtimeservices.h"
#include "db/tests/fixture.h"
#include "e2e_support.h"
#include "tests/support/golden.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using kov::e2e::Process;
using kov::test::readBytes;

TEST(Kov120EndToEnd, DailyPaidTwoBlocksPrintedToPdf)
{
    kov::db::Fixture fx;
    kov::e2e::KeyedPrint print = kov::e2e::kov120DailyPaidPrint(fx);

    // Under the window manager the screen has a border without a title bar or buttons;
    // Alt+F4 (its close request) and a minimise on the background and on the screen leave
    // both shown.
    const auto closeRequests = [](const std::string& d, const std::string& screen) {
        if (!fs::exists("/usr/bin/openbox")) {
            std::cout << "openbox is not installed (tools/install-deps.sh installs it): Alt+F4 not tried\n";
            return;
        }
        const std::string extents =
            kov::e2e::shellOutput("DISPLAY=" + d + " xprop -id " + screen + " _NET_FRAME_EXTENTS");
        EXPECT_NE(extents.find("= 1, 1, 1, 1"), std::string::npos) << "a title bar: " << extents;
        const std::string found = kov::e2e::xdotool(d, "search --name '^frmBack$'");
        const std::string back = found.substr(0, found.find('\n'));
        kov::e2e::xdotool(d, "windowfocus --sync " + back);
        kov::e2e::pressKeys(d, {"alt+F4"});
        kov::e2e::xdotool(d, "windowfocus --sync " + screen);
        kov::e2e::pressKeys(d, {"alt+F4"});
        // The window manager's menu still offers a minimise: it is undone.
        kov::e2e::xdotool(d, "windowminimize " + back);
        kov::e2e::xdotool(d, "windowminimize " + screen);
        std::this_thread::sleep_for(700ms);
        const std::string shown =
            kov::e2e::xdotool(d, "search --onlyvisible --name '^(frmBack|期末勤勉手当支給調書印刷)$'");
        EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 2) << "a screen went away after Alt+F4 or a minimise";
        kov::e2e::xdotool(d, "windowfocus --sync " + screen);
    };
    // Down chooses 日額者, blocks 01 and 02 are selected, F6 prints.
    print.beforeKeys = closeRequests;
    fs::path pdf;
    ASSERT_NO_FATAL_FAILURE(kov::e2e::printThroughProgram(fx, print, pdf));

    // The command file is in the program's work folder, none in the program's folder.
    kov::test::expectGolden((kov::e2e::deskOf(fx).work / "kov120" / "OVL.TMP").string(), "kov120_e2e.ovl.tmp");
    EXPECT_FALSE(fs::exists(kov::e2e::deskOf(fx).app / "OVL.TMP"));

    kov::e2e::expectGaijiName(kov::e2e::deskOf(fx).work / "kov120" / "OVL.TMP", pdf);
    const std::string text = kov::e2e::pdfText(pdf);
    EXPECT_NE(text.find("講師"), std::string::npos) << text;
    EXPECT_NE(text.find("臨時"), std::string::npos);
    EXPECT_NE(text.find("※ブロック合計※"), std::string::npos);
    EXPECT_NE(text.find("令和"), std::string::npos);
    EXPECT_EQ(text.find("山田"), std::string::npos) << "a monthly-paid staff member was printed";
    EXPECT_EQ(kov::e2e::shellOutput("pdfinfo '" + pdf.string() + "' | grep -c '^Pages: *2$'"), "1\n");
}

// kov120 accepts exactly "2", "5" or "25": anything else ends it at once, before any
// window, with its usage on standard error and the launch rule's status.
TEST(Kov120EndToEnd, WrongArgumentEndsWithTheUsage)
{
    const kov::e2e::TempFolder folder;
    const std::vector<std::string> env = kov::e2e::environmentWithTmpDir(folder.path() / "tmp");
    const fs::path log = folder.path() / "kov120_arg.log";
    const std::vector<std::vector<std::string>> cases = {
        {}, {" 2"}, {"2 "}, {"2@"}, {"3"}, {"52"}, {"2", "5"},
    };
    for (const auto& args : cases) {
        std::vector<std::string> argv = {(fs::path(KOV_BIN_DIR) / "kov120").string()};
        argv.insert(argv.end(), args.begin(), args.end());
        Process prog(argv, env, log.string());
        ASSERT_TRUE(prog.started());
        const auto status = prog.waitFor(10s);
        std::string shown;
        for (const auto& a : args) shown += "[" + a + "]";
        EXPECT_EQ(status, kov::kExitLaunchRule) << shown;
        // Only the one line of usage, in Japanese, on standard error.
        const std::string said = readBytes(log.string());
        EXPECT_EQ(said.rfind("使い方: kov120 2|5|25", 0), 0u) << shown << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << shown << said;
    }
}

} // namespace

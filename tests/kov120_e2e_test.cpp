// kov120 from end to end: the real program, started under its own X server (Xvfb) over a
// fixture database, under a window manager, driven by key presses (xdotool): Alt+F4 and
// a minimise on the background and on the screen, choose the daily-paid group, select
// two blocks, print with F6, end with F10. The command file must match its golden file, the print
// engine must have made a PDF whose text poppler reads, and the program must end with
// status 0.
#include "blockreport/tests/blockreport_testsupport.h"
#include "common/runtimeservices.h"
#include "db/tests/fixture.h"
#include "e2e_support.h"

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
using kov::blockreport::test::readBytes;
using kov::e2e::Process;

void addStaffWithPayment(kov::db::Fixture& fx, std::int64_t code, const std::string& name, const std::string& syozok,
                         std::int64_t block, std::int64_t syosyu)
{
    fx.addStaff({.syokcd = code, .syosyu = syosyu, .syozok = syozok, .name = name, .values = {}});
    fx.addPayment({.syokcd = code,
                   .skyuym = 202312,
                   .kyusyu = 2,
                   .syrflg = block,
                   .syosyu = syosyu,
                   .syozok = syozok,
                   .kgokyu = "1",
                   .kgogho = 10,
                   .values = {{"KYURYO", 180000 + code},
                              {"KIMATU", std::int64_t{250000}},
                              {"KINBEN", std::int64_t{150000}},
                              {"SSIKYU", std::int64_t{400000}},
                              {"SYOTOK", std::int64_t{20000}},
                              {"SASIHK", std::int64_t{380000}},
                              {"KMRITU", std::int64_t{12250000}},
                              {"KBRITU", std::int64_t{9500000}},
                              {"ZEIRT2", 4.084},
                              {"KMMMDD", std::int64_t{600}},
                              {"KBMMDD", std::int64_t{600}}}});
}

TEST(Kov120EndToEnd, DailyPaidTwoBlocksPrintedToPdf)
{
    kov::db::Fixture fx;
    fx.setStandardNames();
    fx.setKanri(202312);
    fx.addSchool("E101", "城東小学校");
    fx.addSchool("E201", "川北中学校");
    fx.setBlock(1, 101, 101, 1, 2);
    fx.setBlock(2, 201, 201, 1, 2);
    addStaffWithPayment(fx, 1001, "山田　太郎", "E101", 1, 3);  // monthly-paid: not printed
    addStaffWithPayment(fx, 1002, "講師　一美", "E101", 1, 5);
    addStaffWithPayment(fx, 2001, "臨時　二葉", "E201", 2, 6);

    // Under the window manager the screen has a border without a title bar or buttons;
    // Alt+F4 (its close request) and a minimise on the background and on the screen leave
    // both shown.
    const auto closeRequests = [](const std::string& d, const std::string& screen) {
        if (!fs::exists("/usr/bin/openbox")) {
            std::cout << "openbox is not installed (tools/install-deps.sh installs it): Alt+F4 not tried\n";
            return;
        }
        const std::string extents = kov::e2e::shellOutput("DISPLAY=" + d + " xprop -id " + screen + " _NET_FRAME_EXTENTS");
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
        const std::string shown = kov::e2e::xdotool(d, "search --onlyvisible --name '^(frmBack|期末勤勉手当支給調書印刷)$'");
        EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 2) << "a screen went away after Alt+F4 or a minimise";
        kov::e2e::xdotool(d, "windowfocus --sync " + screen);
    };
    // The monthly-paid option has the focus: Down chooses 日額者 (as Right does), Tab goes
    // to the block list, space selects block 01, Down and space select block 02, F6 prints.
    fs::path pdf;
    ASSERT_NO_FATAL_FAILURE(kov::e2e::printThroughProgram(
        fx, {"kov120", {"2"}, "期末勤勉手当支給調書印刷", {"Down", "Tab", "space", "Down", "space"}, closeRequests}, pdf));

    kov::blockreport::test::expectGolden((fs::path(fx.dir()) / "app" / "OVL.TMP").string(),
                                         "kov120_e2e.ovl.tmp");

    const std::string text = kov::e2e::pdfText(pdf);
    EXPECT_NE(text.find("講師"), std::string::npos) << text;
    EXPECT_NE(text.find("臨時"), std::string::npos);
    EXPECT_NE(text.find("※ブロック合計※"), std::string::npos);
    EXPECT_NE(text.find("令和"), std::string::npos);
    EXPECT_EQ(text.find("山田"), std::string::npos) << "a monthly-paid staff member was printed";
    EXPECT_EQ(kov::e2e::shellOutput("pdfinfo '" + pdf.string() + "' | grep -c '^Pages: *2$'"), "1\n");
}

// kov120 accepts exactly "2", "5" or "25": anything else ends it at once, before any
// window and without a message, with a non-zero status.
TEST(Kov120EndToEnd, WrongArgumentEndsSilently)
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
        EXPECT_EQ(readBytes(log.string()), "") << shown;
    }
}

} // namespace

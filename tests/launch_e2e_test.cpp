// The clerk's start of a program from the menu, and a second start of what runs already:
// the real menu and kov120 under an X server of the test with openbox. The menu, started
// with KOV_INI_DIR relative to its start folder, starts kov120 on those settings; a second
// start of kov120 or of the menu ends (exit status 3) and brings the running copy to the
// front; --help and --version answer on the terminal without a window.
#include "common/runtimeservices.h"
#include "db/tests/fixture.h"
#include "e2e_support.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using kov::e2e::Process;
using kov::e2e::xdotool;
using kov::test::readBytes;

std::string activeWindow(const std::string& display)
{
    std::string w = xdotool(display, "getactivewindow");
    while (!w.empty() && w.back() == '\n') w.pop_back();
    return w;
}

// Whether `window` becomes the active one within a few seconds.
bool becomesActive(const std::string& display, const std::string& window)
{
    for (int i = 0; i < 50; ++i) {
        if (activeWindow(display) == window) return true;
        std::this_thread::sleep_for(100ms);
    }
    return false;
}

TEST(LaunchEndToEnd, SecondStartBringsTheRunningCopyToTheFront)
{
    if (!fs::exists("/usr/bin/openbox")) GTEST_SKIP() << "openbox is not installed (tools/install-deps.sh installs it)";
    kov::db::Fixture fx;
    kov::e2e::kov120DailyPaidPrint(fx); // a processing month and payment records that kov120 opens on
    fx.syncEngine();
    kov::e2e::XServer x;
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    const std::string d = x.display();
    const kov::e2e::Desk desk = kov::e2e::deskOf(fx);
    std::vector<std::string> env;
    for (const std::string& e : kov::e2e::programEnvironment(d, desk.tmp))
        if (e.rfind("KOV_INI_DIR=", 0) != 0 && e.rfind("KOV_WORK_DIR=", 0) != 0) env.push_back(e);
    env.push_back("KOV_WORK_DIR=" + desk.work.string());
    const fs::path settings(fx.dir());
    const std::string bin = KOV_BIN_DIR;

    // The menu, started one folder above the settings with a relative KOV_INI_DIR.
    std::vector<std::string> menuEnv = env;
    menuEnv.push_back("KOV_INI_DIR=" + settings.filename().string());
    const std::string menuLog = (settings / "kovmenu.log").string();
    const auto startMenu = [&] {
        return std::vector<std::string>{"/bin/sh", "-c",
                                        "cd '" + settings.parent_path().string() + "' && exec '" + bin + "/kovmenu'"};
    };
    Process menu(startMenu(), menuEnv, menuLog);
    const std::string menuWindow = kov::e2e::waitForWindow(d, "'^給与システム　処理メニュー$'", menu);
    ASSERT_FALSE(menuWindow.empty()) << readBytes(menuLog);
    xdotool(d, "windowactivate --sync " + menuWindow);
    xdotool(d, "key Return"); // the first entry: kov120 with 2
    const std::string screen = kov::e2e::waitForWindow(d, "'^期末勤勉手当支給調書印刷$'", menu);
    ASSERT_FALSE(screen.empty()) << "kov120 did not open from the menu:\n" << readBytes(menuLog);
    std::this_thread::sleep_for(500ms);
    // Its messages go to the menu's standard error: it found its settings and opened them.
    ASSERT_EQ(readBytes(menuLog).find("[message"), std::string::npos) << readBytes(menuLog);

    // A second kov120 while the menu is in front: it ends, and kov120's screen comes up.
    xdotool(d, "windowactivate --sync " + menuWindow);
    ASSERT_EQ(activeWindow(d), menuWindow);
    std::vector<std::string> kovEnv = env;
    kovEnv.push_back("KOV_INI_DIR=" + settings.string());
    const std::string log = (settings / "second.log").string();
    {
        Process second({bin + "/kov120", "2"}, kovEnv, log);
        EXPECT_EQ(second.waitFor(15s), kov::kExitLaunchRule) << readBytes(log);
    }
    EXPECT_TRUE(becomesActive(d, screen)) << "active: " << activeWindow(d) << ", kov120: " << screen;

    // A second menu: it ends, and the running menu comes up.
    {
        Process second(startMenu(), menuEnv, log);
        EXPECT_EQ(second.waitFor(15s), kov::kExitLaunchRule) << readBytes(log);
    }
    EXPECT_TRUE(becomesActive(d, menuWindow)) << "active: " << activeWindow(d) << ", menu: " << menuWindow;

    // --help and --version: one line on the terminal, no second window.
    struct Case {
        std::string program, option;
        int status;
        std::string starts;
    };
    for (const Case& c : {Case{"kov120", "--help", kov::kExitLaunchRule, "使い方: kov120 2|5|25"},
                          Case{"kov120", "--version", 0, "kov120 1."},
                          Case{"kovmenu", "--help", kov::kExitLaunchRule, "使い方: kovmenu"},
                          Case{"kovmenu", "--version", 0, "kovmenu 1."}}) {
        Process p({bin + "/" + c.program, c.option}, kovEnv, log);
        EXPECT_EQ(p.waitFor(15s), c.status) << c.program << " " << c.option;
        const std::string said = readBytes(log);
        EXPECT_EQ(said.rfind(c.starts, 0), 0u) << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    }
    const std::string menus = xdotool(d, "search --onlyvisible --name '^給与システム　処理メニュー$'");
    EXPECT_EQ(std::count(menus.begin(), menus.end(), '\n'), 1) << menus;

    // kov120, started by the menu, ends with its end key.
    xdotool(d, "windowactivate --sync " + screen);
    xdotool(d, "key F10");
    for (int i = 0; i < 100 && !xdotool(d, "search --name '^期末勤勉手当支給調書印刷$'").empty(); ++i)
        std::this_thread::sleep_for(100ms);
    EXPECT_EQ(xdotool(d, "search --name '^期末勤勉手当支給調書印刷$'"), "");
}

} // namespace

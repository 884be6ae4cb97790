// kov970 from end to end: the real program under its own X server (Xvfb), its drive list
// named by KOV_REMOVABLE_DRIVES to a floppy-sized tmpfs that already holds a file. Key
// presses choose the staff master, F12 asks about the used floppy, Escape answers No
// (the file stays), F12 and Return answer Yes: the floppy holds the CSV file alone, byte
// for byte the golden file (a name with 𠮷 at its user-defined code F0 40), and the program has ended with status 0.
// Needs root to mount the tmpfs; skipped otherwise.
#include "db/tests/fixture.h"
#include "e2e_support.h"
#include "tests/support/files.h"
#include "tests/support/golden.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using kov::test::readBytes;

std::size_t count(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST(Kov970EndToEnd, StaffMasterToUsedFloppy)
{
    kov::db::Fixture fx;
    fx.addStaff({.syokcd = 1001, .name = "山田,太郎", .values = {{"KBANGO", "000123"}}});
    // 𠮷 through the office's gaiji table: F0 40 in the file, as a Windows office's backup holds it.
    fx.writeSettings("GAIJI.INI", "[Gaiji]\r\nE000=𠮷\r\n");
    fx.addStaff({.syokcd = 1002, .syozok = "E102", .name = "𠮷田　一美", .kana = "ｺｳｼ   "});
    fx.syncEngine(); // the program reads the rows through its own connection (PostgreSQL: a copy)

    const fs::path floppy = fx.path("fd");
    const kov::test::Tmpfs disk(floppy, "size=1420k");
    if (!disk.mounted()) GTEST_SKIP() << "mounting a tmpfs needs root: end-to-end test skipped";
    std::ofstream(floppy / "memo.txt") << "memo";

    kov::e2e::XServer x;
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    std::vector<std::string> env = kov::e2e::programEnvironment(x.display(), fs::path(fx.dir()) / "tmp");
    env.push_back("KOV_REMOVABLE_DRIVES=" + floppy.string());
    const std::string log = fx.path("kov970.log");
    kov::e2e::Process prog({(fs::path(KOV_BIN_DIR) / "kov970").string(), "1"}, env, log);
    ASSERT_TRUE(prog.started());
    const std::string window = kov::e2e::waitForWindow(x.display(), "マスタ退避処理", prog);
    ASSERT_FALSE(window.empty()) << "no window; log:\n" << readBytes(log);
    kov::e2e::xdotool(x.display(), "windowfocus --sync " + window);
    std::this_thread::sleep_for(300ms);

    // Answers the n-th question of the run with key.
    const auto answer = [&](std::size_t n, const std::string& key) {
        kov::e2e::xdotool(x.display(), "key F12");
        for (int i = 0; i < 100 && count(readBytes(log), "[message question]") < n && prog.running(); ++i)
            std::this_thread::sleep_for(100ms);
        ASSERT_EQ(count(readBytes(log), "[message question]"), n) << readBytes(log);
        std::this_thread::sleep_for(300ms);
        std::string box;
        std::istringstream ids(kov::e2e::xdotool(x.display(), "search --onlyvisible --name マスタ退避処理"));
        for (std::string id; std::getline(ids, id);)
            if (id != window) box = id;
        ASSERT_FALSE(box.empty());
        kov::e2e::xdotool(x.display(), "windowfocus --sync " + box);
        kov::e2e::pressKeys(x.display(), {key});
    };
    // Drive list (one drive) -> Tab -> master list: Down twice is 2:職員マスタ.
    kov::e2e::pressKeys(x.display(), {"Tab", "Down", "Down"});
    ASSERT_NO_FATAL_FAILURE(answer(1, "Escape"));
    std::this_thread::sleep_for(500ms);
    EXPECT_TRUE(prog.running());
    EXPECT_EQ(readBytes((floppy / "memo.txt").string()), "memo");
    EXPECT_FALSE(fs::exists(floppy / "SKSYOKU.CSV"));

    kov::e2e::xdotool(x.display(), "windowfocus --sync " + window);
    ASSERT_NO_FATAL_FAILURE(answer(2, "Return"));
    EXPECT_EQ(prog.waitFor(20s), 0) << readBytes(log);
    EXPECT_FALSE(fs::exists(floppy / "memo.txt"));
    kov::test::expectGolden((floppy / "SKSYOKU.CSV").string(), "kov970_e2e.csv");
    EXPECT_NE(readBytes((floppy / "SKSYOKU.CSV").string()).find(",\xF0\x40\x93\x63\x81\x40"), std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(floppy), fs::directory_iterator()), 1);
}

} // namespace

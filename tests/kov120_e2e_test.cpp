// kov120 from end to end: the real program, started under its own X server (Xvfb) over a
// fixture database, driven by key presses (xdotool): choose the daily-paid group, select
// two blocks, print with F6, end with F10. The command file must match its golden file,
// the print engine must have made a PDF whose text poppler reads, and the program must
// end with status 0.
#include "db/fixture.h"
#include "blockreport/tests/blockreport_testsupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <optional>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Output of a shell command (standard output only).
std::string run(const std::string& cmd)
{
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    return out;
}

// A child process started with an environment of its own.
struct Child {
    pid_t pid = -1;
    std::optional<int> status;

    static Child start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                       const std::string& outFile, posix_spawn_file_actions_t* extra = nullptr)
    {
        std::vector<char*> a, e;
        for (const auto& s : argv) a.push_back(const_cast<char*>(s.c_str()));
        a.push_back(nullptr);
        for (const auto& s : env) e.push_back(const_cast<char*>(s.c_str()));
        e.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_t* actions = extra;
        if (!actions) {
            posix_spawn_file_actions_init(&fa);
            posix_spawn_file_actions_addopen(&fa, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            posix_spawn_file_actions_adddup2(&fa, 1, 2);
            actions = &fa;
        }
        Child c;
        if (posix_spawn(&c.pid, a[0], actions, nullptr, a.data(), e.data()) != 0) c.pid = -1;
        if (!extra) posix_spawn_file_actions_destroy(&fa);
        return c;
    }

    bool running()
    {
        if (pid <= 0 || status) return false;
        int st = 0;
        if (waitpid(pid, &st, WNOHANG) == pid) {
            status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            return false;
        }
        return true;
    }

    std::optional<int> waitFor(std::chrono::milliseconds limit)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (running() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(50ms);
        return status;
    }

    void stop()
    {
        if (running()) {
            kill(pid, SIGTERM);
            if (!waitFor(3s)) {
                kill(pid, SIGKILL);
                waitFor(3s);
            }
        }
    }
};

// An X server of this test alone, on a display that no other server holds; ready when
// its socket is there and a client can connect.
struct XServer {
    Child child;
    std::string display;

    XServer()
    {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) env.emplace_back(*e);
        for (int n = 100 + getpid() % 300, tries = 0; tries < 50; ++n, ++tries) {
            const std::string num = std::to_string(n);
            if (fs::exists("/tmp/.X" + num + "-lock") || fs::exists("/tmp/.X11-unix/X" + num)) continue;
            child = Child::start({"/usr/bin/Xvfb", ":" + num, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"}, env,
                                 "/dev/null");
            for (int i = 0; i < 100 && child.running(); ++i) {
                std::this_thread::sleep_for(100ms);
                if (run("DISPLAY=:" + num + " xdpyinfo >/dev/null 2>&1 && echo ok") == "ok\n") {
                    display = ":" + num;
                    return;
                }
            }
            child.stop();
        }
    }
    ~XServer() { child.stop(); }
};

std::string xdo(const std::string& display, const std::string& args)
{
    return run("DISPLAY=" + display + " xdotool " + args + " 2>/dev/null");
}

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

    // The program runs from a folder of its own, where it writes OVL.TMP.
    const fs::path app = fs::path(fx.dir()) / "app";
    fs::create_directories(app);
    fs::copy_file(fs::path(KOV_BIN_DIR) / "kov120", app / "kov120");
    const fs::path pdf = fs::path(fx.dir()) / "pdf";
    fx.writeSettings("OVLPRINT.INI", "[Print]\r\nOutput=pdf\r\nPdfFolder=" + pdf.string() +
                                         "\r\nOverlayFolder=" + std::string(KOV_BIN_DIR) + "\r\n");

    XServer x;
    ASSERT_FALSE(x.display.empty()) << "Xvfb did not start";
    ASSERT_TRUE(x.child.running()) << "Xvfb ended";

    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string s = *e;
        if (s.rfind("QT_QPA_PLATFORM=", 0) == 0 || s.rfind("DISPLAY=", 0) == 0) continue;
        env.push_back(s);
    }
    env.push_back("DISPLAY=" + x.display);
    env.push_back("QT_QPA_PLATFORM=xcb");
    const std::string log = (fs::path(fx.dir()) / "kov120.log").string();
    Child prog = Child::start({(app / "kov120").string(), "2"}, env, log);
    ASSERT_GT(prog.pid, 0);

    std::string window;
    for (int i = 0; i < 200 && window.empty() && prog.running(); ++i) {
        std::this_thread::sleep_for(100ms);
        window = xdo(x.display, "search --name 期末勤勉手当支給調書印刷");
        if (auto nl = window.find('\n'); nl != std::string::npos) window.resize(nl);
    }
    ASSERT_FALSE(window.empty()) << "no window; log:\n" << kov::blockreport::test::readBytes(log);
    xdo(x.display, "windowfocus --sync " + window);
    std::this_thread::sleep_for(300ms);

    // The monthly-paid option has the focus: Right chooses 日額者, Tab goes to the block
    // list, space selects block 01, Down and space select block 02, F6 prints.
    for (const char* key : {"Right", "Tab", "space", "Down", "space"}) {
        xdo(x.display, std::string("key ") + key);
        std::this_thread::sleep_for(150ms);
    }
    xdo(x.display, "key F6");

    // The print run ends when the engine has written its PDF.
    std::vector<fs::path> pdfs;
    for (int i = 0; i < 300 && pdfs.empty() && prog.running(); ++i) {
        std::this_thread::sleep_for(100ms);
        if (fs::exists(pdf))
            for (const auto& e : fs::directory_iterator(pdf))
                if (e.path().extension() == ".pdf") pdfs.push_back(e.path());
    }
    ASSERT_EQ(pdfs.size(), 1u) << "log:\n" << kov::blockreport::test::readBytes(log);
    std::this_thread::sleep_for(500ms);

    xdo(x.display, "key F10");
    const auto status = prog.waitFor(20s);
    if (!status) prog.stop();
    ASSERT_EQ(status, 0) << "log:\n" << kov::blockreport::test::readBytes(log);

    kov::blockreport::test::expectGolden((app / "OVL.TMP").string(), "kov120_e2e.ovl.tmp");

    const std::string text = run("pdftotext -layout '" + pdfs.front().string() + "' -");
    EXPECT_NE(text.find("講師"), std::string::npos) << text;
    EXPECT_NE(text.find("臨時"), std::string::npos);
    EXPECT_NE(text.find("※ブロック合計※"), std::string::npos);
    EXPECT_NE(text.find("令和"), std::string::npos);
    EXPECT_EQ(text.find("山田"), std::string::npos) << "a monthly-paid staff member was printed";
    EXPECT_EQ(run("pdfinfo '" + pdfs.front().string() + "' | grep -c '^Pages: *2$'"), "1\n");
}

} // namespace

namespace {

// kov120 accepts exactly "2", "5" or "25": anything else ends it at once, before any
// window and without a message, with a non-zero status.
TEST(Kov120EndToEnd, WrongArgumentEndsSilently)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    const fs::path log = fs::temp_directory_path() / ("kov120_arg_" + std::to_string(getpid()) + ".log");
    const std::vector<std::vector<std::string>> cases = {
        {}, {" 2"}, {"2 "}, {"2@"}, {"3"}, {"52"}, {"2", "5"},
    };
    for (const auto& args : cases) {
        std::vector<std::string> argv = {(fs::path(KOV_BIN_DIR) / "kov120").string()};
        argv.insert(argv.end(), args.begin(), args.end());
        Child prog = Child::start(argv, env, log.string());
        ASSERT_GT(prog.pid, 0);
        const auto status = prog.waitFor(10s);
        if (!status) prog.stop();
        std::string shown;
        for (const auto& a : args) shown += "[" + a + "]";
        EXPECT_EQ(status, kov::kExitLaunchRule) << shown;
        EXPECT_EQ(kov::blockreport::test::readBytes(log.string()), "") << shown;
    }
    fs::remove(log);
}

} // namespace

// kov140 from end to end: the real program under an X server of its own (Xvfb) over a
// fixture database, driven by key presses (xdotool). The block list has the focus at
// start: space selects block 01, Down and space block 03, F6 prints, F10 ends. The
// command file must match its golden file byte for byte, the print engine must have
// made a PDF whose text poppler reads, and the program must end with status 0.
#include "db/fixture.h"
#include "blockreport/tests/blockreport_testsupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <optional>
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
using kov::blockreport::test::readBytes;

std::string shellOutput(const std::string& cmd)
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

// A process of the test; stopped (TERM, then KILL) when the test leaves it running.
class Process {
public:
    Process(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            posix_spawn_file_actions_t* actions)
    {
        std::vector<char*> a, e;
        for (const auto& s : argv) a.push_back(const_cast<char*>(s.c_str()));
        a.push_back(nullptr);
        for (const auto& s : env) e.push_back(const_cast<char*>(s.c_str()));
        e.push_back(nullptr);
        if (posix_spawn(&m_pid, a[0], actions, nullptr, a.data(), e.data()) != 0) m_pid = -1;
    }
    ~Process() { stop(); }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool started() const { return m_pid > 0; }
    bool running()
    {
        if (m_pid <= 0 || m_status) return false;
        int st = 0;
        if (waitpid(m_pid, &st, WNOHANG) != m_pid) return true;
        m_status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        return false;
    }
    std::optional<int> waitFor(std::chrono::milliseconds limit)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (running() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(50ms);
        return m_status;
    }
    void stop()
    {
        if (!running()) return;
        kill(m_pid, SIGTERM);
        if (!waitFor(3s)) {
            kill(m_pid, SIGKILL);
            waitFor(3s);
        }
    }

private:
    pid_t m_pid = -1;
    std::optional<int> m_status;
};

std::vector<std::string> currentEnvironment()
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    return env;
}

// Xvfb on the first free display, which it reports through a pipe (-displayfd).
struct XServer {
    std::unique_ptr<Process> process;
    std::string display;

    XServer()
    {
        int fds[2];
        if (pipe(fds) != 0) return;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addclose(&fa, fds[0]);
        posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
        process = std::make_unique<Process>(std::vector<std::string>{"/usr/bin/Xvfb", "-displayfd",
                                                                     std::to_string(fds[1]), "-screen", "0",
                                                                     "1280x1024x24", "-nolisten", "tcp"},
                                            currentEnvironment(), &fa);
        posix_spawn_file_actions_destroy(&fa);
        close(fds[1]);
        // Xvfb writes the number and the line end in two writes and fails when the pipe
        // is closed in between, so read up to the line end.
        std::string number;
        char c;
        while (number.size() < 16 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (!number.empty()) display = ":" + number;
    }
};

std::string xdotool(const std::string& display, const std::string& args)
{
    return shellOutput("DISPLAY=" + display + " xdotool " + args + " 2>/dev/null");
}

void addStaff(kov::db::Fixture& fx, std::int64_t code, const std::string& name, const std::string& syozok,
              std::int64_t block, std::int64_t syosyu, std::int64_t nenfus)
{
    fx.addStaff({.syokcd = code, .syosyu = syosyu, .syozok = syozok, .name = name, .values = {}});
    fx.addPayment({.syokcd = code,
                   .skyuym = 202306,
                   .kyusyu = 3,
                   .syrflg = block,
                   .syosyu = syosyu,
                   .syozok = syozok,
                   .kgokyu = "2",
                   .kgogho = 31,
                   .values = {{"KYURYO", 2100 + code % 100},
                              {"STYOGK", std::int64_t{210}},
                              {"CHIIKI", std::int64_t{63}},
                              {"KIMATU", std::int64_t{1613}},
                              {"KINBEN", std::int64_t{1210}},
                              {"SSIKYU", std::int64_t{5196} + code % 100},
                              {"KENKO", std::int64_t{278}},
                              {"KOSEI", std::int64_t{546}},
                              {"NENFUS", nenfus},
                              {"KOUGOK", std::int64_t{824}},
                              {"SASIHK", std::int64_t{4372} + code % 100}}});
}

TEST(Kov140EndToEnd, TwoBlocksPrintedToPdf)
{
    kov::db::Fixture fx;
    fx.setStandardNames();
    fx.setKanri(202306);
    fx.addSchool("E101", "城東小学校");
    fx.addSchool("E201", "川北中学校");
    fx.addSchool("E301", "南町小学校");
    fx.setBlock(1, 101, 101, 1, 3);
    fx.setBlock(2, 301, 301, 1, 3);
    fx.setBlock(3, 201, 201, 1, 3);
    addStaff(fx, 1001, "山田　太郎", "E101", 1, 3, -1200);
    addStaff(fx, 1002, "鈴木　一郎", "E101", 1, 1, 3000);
    addStaff(fx, 1003, "講師　一美", "E101", 1, 5, 500);   // daily-paid: not printed
    addStaff(fx, 2001, "南町　花子", "E301", 2, 3, 100);   // block 02: not selected
    addStaff(fx, 3001, "高橋　三郎", "E201", 3, 7, 0);

    // The program runs from a folder of its own, where it writes OVL.TMP.
    const fs::path app = fs::path(fx.dir()) / "app";
    fs::create_directories(app);
    fs::copy_file(fs::path(KOV_BIN_DIR) / "kov140", app / "kov140");
    const fs::path pdf = fs::path(fx.dir()) / "pdf";
    fx.writeSettings("OVLPRINT.INI", "[Print]\r\nOutput=pdf\r\nPdfFolder=" + pdf.string() +
                                         "\r\nOverlayFolder=" + std::string(KOV_BIN_DIR) + "\r\n");

    XServer x;
    ASSERT_FALSE(x.display.empty()) << "Xvfb did not start";

    std::vector<std::string> env;
    for (const std::string& s : currentEnvironment())
        if (s.rfind("QT_QPA_PLATFORM=", 0) != 0 && s.rfind("DISPLAY=", 0) != 0) env.push_back(s);
    env.push_back("DISPLAY=" + x.display);
    env.push_back("QT_QPA_PLATFORM=xcb");
    const std::string log = (fs::path(fx.dir()) / "kov140.log").string();
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    Process prog({(app / "kov140").string(), "1"}, env, &fa);
    posix_spawn_file_actions_destroy(&fa);
    ASSERT_TRUE(prog.started());

    std::string window;
    for (int i = 0; i < 200 && window.empty() && prog.running(); ++i) {
        std::this_thread::sleep_for(100ms);
        window = xdotool(x.display, "search --name 差額支給内訳明細書印刷");
        if (auto nl = window.find('\n'); nl != std::string::npos) window.resize(nl);
    }
    ASSERT_FALSE(window.empty()) << "no window; log:\n" << readBytes(log);
    xdotool(x.display, "windowfocus --sync " + window);
    std::this_thread::sleep_for(300ms);

    // The block list has the focus at start; the monthly-paid group is chosen.
    for (const char* key : {"space", "Down", "Down", "space"}) {
        xdotool(x.display, std::string("key ") + key);
        std::this_thread::sleep_for(150ms);
    }
    xdotool(x.display, "key F6");

    // The print run ends when the engine has written its PDF.
    std::vector<fs::path> pdfs;
    for (int i = 0; i < 300 && pdfs.empty() && prog.running(); ++i) {
        std::this_thread::sleep_for(100ms);
        if (fs::exists(pdf))
            for (const auto& e : fs::directory_iterator(pdf))
                if (e.path().extension() == ".pdf") pdfs.push_back(e.path());
    }
    ASSERT_EQ(pdfs.size(), 1u) << "log:\n" << readBytes(log);
    std::this_thread::sleep_for(500ms);

    xdotool(x.display, "key F10");
    const auto status = prog.waitFor(20s);
    ASSERT_EQ(status, 0) << "log:\n" << readBytes(log);

    kov::blockreport::test::expectGolden((app / "OVL.TMP").string(), "kov140_e2e.ovl.tmp");

    const std::string text = shellOutput("pdftotext -layout '" + pdfs.front().string() + "' -");
    EXPECT_NE(text.find("令和 05年06月分"), std::string::npos) << text;
    EXPECT_NE(text.find("山田"), std::string::npos) << text;
    EXPECT_NE(text.find("高橋"), std::string::npos);
    EXPECT_NE(text.find("※ブロック合計※"), std::string::npos);
    EXPECT_NE(text.find("差額支給内訳明細書"), std::string::npos) << "the overlay is missing";
    EXPECT_EQ(text.find("講師"), std::string::npos) << "a daily-paid staff member was printed";
    EXPECT_EQ(text.find("南町"), std::string::npos) << "an unselected block was printed";
    EXPECT_EQ(shellOutput("pdfinfo '" + pdfs.front().string() + "' | grep -c '^Pages: *2$'"), "1\n");
}

} // namespace

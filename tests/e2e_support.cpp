#include "e2e_support.h"

#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace kov::e2e {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using kov::test::readBytes;

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

std::vector<std::string> currentEnvironment()
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    return env;
}

namespace {
// env with the variables given set, each replacing its earlier value.
std::vector<std::string> withVariables(const std::vector<std::string>& env,
                                       const std::vector<std::pair<std::string, std::string>>& set)
{
    std::vector<std::string> out;
    for (const std::string& s : env)
        if (std::none_of(set.begin(), set.end(), [&](const auto& v) { return s.rfind(v.first + "=", 0) == 0; }))
            out.push_back(s);
    for (const auto& [name, value] : set) out.push_back(name + "=" + value);
    return out;
}
} // namespace

std::vector<std::string> environmentWithTmpDir(const fs::path& tmpDir)
{
    // The folder serves as the programs' temporary folder and as their runtime folder,
    // where the one-copy lock lives (used only when it is private to the user: 0700).
    fs::create_directories(tmpDir);
    fs::permissions(tmpDir, fs::perms::owner_all, fs::perm_options::replace);
    return withVariables(currentEnvironment(), {{"TMPDIR", tmpDir.string()}, {"XDG_RUNTIME_DIR", tmpDir.string()}});
}

std::vector<std::string> programEnvironment(const std::string& display, const fs::path& tmpDir)
{
    return withVariables(environmentWithTmpDir(tmpDir), {{"DISPLAY", display}, {"QT_QPA_PLATFORM", "xcb"}});
}

pid_t Process::spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                     const posix_spawn_file_actions_t* actions)
{
    std::vector<char*> a, e;
    for (const auto& s : argv) a.push_back(const_cast<char*>(s.c_str()));
    a.push_back(nullptr);
    for (const auto& s : env) e.push_back(const_cast<char*>(s.c_str()));
    e.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, a[0], actions, nullptr, a.data(), e.data()) != 0) return -1;
    return pid;
}

Process::Process(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                 const posix_spawn_file_actions_t* actions)
    : m_pid(spawn(argv, env, actions))
{
}

Process::Process(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& outFile)
{
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    m_pid = spawn(argv, env, &fa);
    posix_spawn_file_actions_destroy(&fa);
}

bool Process::running()
{
    if (m_pid <= 0 || m_status) return false;
    int st = 0;
    if (waitpid(m_pid, &st, WNOHANG) != m_pid) return true;
    m_status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return false;
}

std::optional<int> Process::waitFor(std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (running() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(50ms);
    return m_status;
}

void Process::stop()
{
    if (!running()) return;
    kill(m_pid, SIGTERM);
    if (!waitFor(3s)) {
        kill(m_pid, SIGKILL);
        waitFor(3s);
    }
}

XServer::XServer()
{
    int fds[2];
    if (pipe(fds) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addclose(&fa, fds[0]);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    m_process.emplace(std::vector<std::string>{"/usr/bin/Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                                               "1280x1024x24", "-nolisten", "tcp"},
                      currentEnvironment(), &fa);
    posix_spawn_file_actions_destroy(&fa);
    close(fds[1]);
    // Xvfb writes the number and the line end in two writes and fails ("Cannot write
    // display number to fd") when the pipe is closed in between, so read up to the line end.
    std::string number;
    char c;
    while (number.size() < 16 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (!number.empty()) m_display = ":" + number;
    if (m_display.empty() || !fs::exists("/usr/bin/openbox")) return;
    const std::vector<std::string> env = withVariables(currentEnvironment(), {{"DISPLAY", m_display}});
    // Its own settings, so that Alt+F4 is the close request whatever the user configured.
    std::vector<std::string> argv = {"/usr/bin/openbox", "--sm-disable"};
    if (fs::exists("/etc/xdg/openbox/rc.xml")) argv.insert(argv.end(), {"--config-file", "/etc/xdg/openbox/rc.xml"});
    m_wm.emplace(argv, env, "/dev/null");
    // Ready when it has announced itself on the root window.
    for (int i = 0; i < 100 && m_wm->running(); ++i) {
        if (shellOutput("DISPLAY=" + m_display + " xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null")
                .find("window id") != std::string::npos)
            break;
        std::this_thread::sleep_for(50ms);
    }
}

std::string xdotool(const std::string& display, const std::string& args)
{
    return shellOutput("DISPLAY=" + display + " xdotool " + args + " 2>/dev/null");
}

std::string waitForWindow(const std::string& display, const std::string& title, Process& prog)
{
    std::string window;
    for (int i = 0; i < 200 && window.empty() && prog.running(); ++i) {
        std::this_thread::sleep_for(100ms);
        window = xdotool(display, "search --name " + title);
        if (auto nl = window.find('\n'); nl != std::string::npos) window.resize(nl);
    }
    return window;
}

void pressKeys(const std::string& display, const std::vector<std::string>& keys)
{
    for (const std::string& key : keys) {
        xdotool(display, "key " + key);
        std::this_thread::sleep_for(150ms);
    }
}

std::vector<fs::path> waitForPdfs(const fs::path& folder, Process& prog)
{
    std::vector<fs::path> pdfs;
    for (int i = 0; i < 300 && pdfs.empty() && prog.running(); ++i) {
        std::this_thread::sleep_for(100ms);
        if (fs::exists(folder))
            for (const auto& e : fs::directory_iterator(folder))
                if (e.path().extension() == ".pdf") pdfs.push_back(e.path());
    }
    return pdfs;
}

std::string pdfText(const fs::path& pdf) { return shellOutput("pdftotext -layout '" + pdf.string() + "' -"); }

Desk deskOf(const db::Fixture& fx)
{
    const fs::path dir = fx.dir();
    return {dir / "app", dir / "tmp", dir / "work"};
}

void startKeyedPrint(db::Fixture& fx, const KeyedPrint& print, const Desk& desk, const std::string& display,
                     StartedPrint& started)
{
    fx.syncEngine(); // the program reads the rows through its own connection (PostgreSQL: a copy)
    fs::create_directories(desk.app);
    fs::copy_file(fs::path(KOV_BIN_DIR) / print.program, desk.app / print.program,
                  fs::copy_options::overwrite_existing);
    started.pdfFolder = fs::path(fx.dir()) / "pdf";
    fx.writeSettings("OVLPRINT.INI", "[Print]\r\nOutput=pdf\r\nPdfFolder=" + started.pdfFolder.string() +
                                         "\r\nOverlayFolder=" + std::string(KOV_BIN_DIR) + "\r\n");

    const std::vector<std::string> env = withVariables(
        programEnvironment(display, desk.tmp), {{"KOV_INI_DIR", fx.dir()}, {"KOV_WORK_DIR", desk.work.string()}});
    started.log = (fs::path(fx.dir()) / (print.program + ".log")).string();
    std::vector<std::string> argv = {(desk.app / print.program).string()};
    argv.insert(argv.end(), print.args.begin(), print.args.end());
    started.process.emplace(argv, env, started.log);
    ASSERT_TRUE(started.process->started());

    started.window = waitForWindow(display, print.windowTitle, *started.process);
    ASSERT_FALSE(started.window.empty()) << "no window; log:\n" << readBytes(started.log);
    xdotool(display, "windowfocus --sync " + started.window);
    std::this_thread::sleep_for(300ms);

    if (print.beforeKeys) print.beforeKeys(display, started.window);
    pressKeys(display, print.keys);
}

void finishKeyedPrint(const std::string& display, StartedPrint& started, fs::path& pdf)
{
    // The print run ends when the engine has written its PDF.
    const std::vector<fs::path> pdfs = waitForPdfs(started.pdfFolder, *started.process);
    ASSERT_EQ(pdfs.size(), 1u) << "log:\n" << readBytes(started.log);
    std::this_thread::sleep_for(500ms);

    xdotool(display, "windowfocus --sync " + started.window);
    xdotool(display, "key F10");
    const auto status = started.process->waitFor(20s);
    ASSERT_EQ(status, 0) << "log:\n" << readBytes(started.log);
    pdf = pdfs.front();
}

void printThroughProgram(db::Fixture& fx, const KeyedPrint& print, fs::path& pdf)
{
    XServer x;
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    ASSERT_TRUE(x.running()) << "Xvfb ended";
    StartedPrint started;
    ASSERT_NO_FATAL_FAILURE(startKeyedPrint(fx, print, deskOf(fx), x.display(), started));
    xdotool(x.display(), "key F6");
    ASSERT_NO_FATAL_FAILURE(finishKeyedPrint(x.display(), started, pdf));
}

} // namespace kov::e2e

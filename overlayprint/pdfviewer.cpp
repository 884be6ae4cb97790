#include "pdfviewer.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

extern char** environ;
#else
#include <QDesktopServices>
#include <QUrl>
#endif

namespace kov::overlayprint {

#ifndef _WIN32

namespace {

// Openers left running (their viewer is showing); reaped once they end.
std::vector<pid_t>& running()
{
    static std::vector<pid_t> pids;
    return pids;
}

void reapEnded()
{
    auto& pids = running();
    for (auto it = pids.begin(); it != pids.end();) {
        int st = 0;
        it = waitpid(*it, &st, WNOHANG) == 0 ? it + 1 : pids.erase(it);
    }
}

// A helper program run with its output (standard output and error) caught in a file of
// its own, waited for up to `limit`.
struct Helper {
    enum class End { NotStarted, NoFile, Ended, StillRunning } end = End::NotStarted;
    int status = 0; // exit status once ended (128 + signal)
    std::string said; // what it wrote, at most about 2000 bytes
    pid_t pid = -1; // while still running
};

// Starts args with standard output and error into the file out; false when it cannot.
bool spawnInto(const std::vector<std::string>& args, int out, pid_t& pid)
{
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out, 1);
    posix_spawn_file_actions_adddup2(&fa, out, 2);
    posix_spawn_file_actions_addclose(&fa, out);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int rc = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    return rc == 0;
}

// What the helper wrote into out, at most about 2000 bytes, without trailing line ends
// and blanks.
std::string helperOutput(int out)
{
    std::string said;
    char buf[512];
    ssize_t n;
    lseek(out, 0, SEEK_SET);
    while (said.size() < 2000 && (n = read(out, buf, sizeof buf)) > 0) said.append(buf, static_cast<std::size_t>(n));
    while (!said.empty() && (said.back() == '\n' || said.back() == '\r' || said.back() == ' ')) said.pop_back();
    return said;
}

Helper runHelper(const std::vector<std::string>& args, std::chrono::milliseconds limit)
{
    using namespace std::chrono_literals;
    Helper h;
    std::error_code ec;
    std::string pattern = (std::filesystem::temp_directory_path(ec) / "kov-open-XXXXXX").string();
    const int out = mkstemp(pattern.data());
    if (out < 0) return h;
    unlink(pattern.c_str());
    if (!spawnInto(args, out, h.pid)) {
        close(out);
        h.end = Helper::End::NoFile;
        return h;
    }
    int st = 0;
    const auto end = std::chrono::steady_clock::now() + limit;
    while (waitpid(h.pid, &st, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= end) {
            close(out);
            h.end = Helper::End::StillRunning;
            return h;
        }
        std::this_thread::sleep_for(20ms);
    }
    h.pid = -1;
    h.said = helperOutput(out);
    close(out);
    h.end = Helper::End::Ended;
    h.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return h;
}

} // namespace

bool desktopHasPdfViewer()
{
    using namespace std::chrono_literals;
    Helper h = runHelper({"xdg-mime", "query", "default", "application/pdf"}, 3s);
    if (h.end == Helper::End::StillRunning) {
        kill(h.pid, SIGKILL);
        waitpid(h.pid, nullptr, 0);
    }
    // Only a clear "none" counts: without xdg-mime, or when it fails, the opener decides.
    return h.end != Helper::End::Ended || h.status != 0 || !h.said.empty();
}

bool openInViewer(const std::string& pdf, std::string* error)
{
    using namespace std::chrono_literals;
    reapEnded();
    Helper h = runHelper({"xdg-open", pdf}, 3s);
    switch (h.end) {
    case Helper::End::NotStarted:
        *error = "PDF を開く準備ができません（一時ファイルを作れません）。";
        return false;
    case Helper::End::NoFile:
        *error = "PDF を開くプログラム xdg-open が見つかりません（xdg-utils を入れてください）。";
        return false;
    case Helper::End::StillRunning:
        // Showing the file: left to run, reaped later.
        running().push_back(h.pid);
        return true;
    case Helper::End::Ended:
        break;
    }
    if (h.status == 0) return true;
    // What it said is for support staff (standard error); the clerk reads Japanese.
    if (!h.said.empty()) std::fprintf(stderr, "xdg-open: %s\n", h.said.c_str());
    *error = "PDF を開けませんでした（xdg-open の終了状態 " + std::to_string(h.status) +
             "）。PDF を見るプログラムが入っているか確かめてください。";
    return false;
}

#else

bool desktopHasPdfViewer() { return true; }

bool openInViewer(const std::string& pdf, std::string* error)
{
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(pdf)))) return true;
    *error = "PDF を開けませんでした（PDF を見るプログラムが入っているか確かめてください）。";
    return false;
}

#endif

} // namespace kov::overlayprint

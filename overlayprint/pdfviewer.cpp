#include "pdfviewer.h"

#ifndef _WIN32
#include <fcntl.h>
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

} // namespace

bool openInViewer(const std::string& pdf, std::string* error)
{
    using namespace std::chrono_literals;
    reapEnded();
    // What the opener says goes to a temporary file of its own, read when it ends.
    std::error_code ec;
    std::string pattern = (std::filesystem::temp_directory_path(ec) / "kov-open-XXXXXX").string();
    const int out = mkstemp(pattern.data());
    if (out < 0) {
        *error = "PDF を開く準備ができません（一時ファイルを作れません）。";
        return false;
    }
    unlink(pattern.c_str());
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out, 1);
    posix_spawn_file_actions_adddup2(&fa, out, 2);
    posix_spawn_file_actions_addclose(&fa, out);
    std::vector<char*> argv = {const_cast<char*>("xdg-open"), const_cast<char*>(pdf.c_str()), nullptr};
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, "xdg-open", &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) {
        close(out);
        *error = "PDF を開くプログラム xdg-open が見つかりません（xdg-utils を入れてください）。";
        return false;
    }
    int st = 0;
    const auto end = std::chrono::steady_clock::now() + 3s;
    while (waitpid(pid, &st, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= end) {
            running().push_back(pid);
            close(out);
            return true;
        }
        std::this_thread::sleep_for(20ms);
    }
    std::string said;
    char buf[512];
    ssize_t n;
    lseek(out, 0, SEEK_SET);
    while (said.size() < 2000 && (n = read(out, buf, sizeof buf)) > 0) said.append(buf, static_cast<std::size_t>(n));
    close(out);
    // Its last line says why (the lines before name the fallbacks it tried).
    while (!said.empty() && (said.back() == '\n' || said.back() == '\r' || said.back() == ' ')) said.pop_back();
    if (const auto nl = said.rfind('\n'); nl != std::string::npos) said.erase(0, nl + 1);
    if (WIFEXITED(st) && WEXITSTATUS(st) == 0) return true;
    *error = "PDF を開けませんでした（xdg-open の終了状態 " +
             std::to_string(WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st)) + (said.empty() ? "" : "、" + said) +
             "）。PDF を見るプログラムが入っているか確かめてください。";
    return false;
}

#else

bool openInViewer(const std::string& pdf, std::string* error)
{
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(pdf)))) return true;
    *error = "PDF を開けませんでした（PDF を見るプログラムが入っているか確かめてください）。";
    return false;
}

#endif

} // namespace kov::overlayprint

#pragma once
// Support for the end-to-end tests: the real programs run under an X server of the test
// alone (Xvfb), driven by key presses (xdotool), with their output read back (poppler).
#include "db/tests/fixture.h"
#include "tests/support/files.h"

#include <spawn.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kov::e2e {

// Standard output of a shell command.
std::string shellOutput(const std::string& cmd);

// The environment of this process, one "NAME=value" an entry.
std::vector<std::string> currentEnvironment();

// A folder of the test alone below the system's temporary folder, removed with what it
// holds when the test leaves it.
struct TempFolder : test::TempDir {
    TempFolder() : TempDir("kov_e2e") {}
};

// This process's environment with tmpDir (created, mode 0700) as TMPDIR and as
// XDG_RUNTIME_DIR. A program's single-copy lock lives in its runtime folder, and a second
// copy for the same user ends silently, so every test gives the programs it starts a
// runtime folder of their own: a copy started by another test or another build then does
// not end this one.
std::vector<std::string> environmentWithTmpDir(const std::filesystem::path& tmpDir);

// The environment for a program under the X server `display`: environmentWithTmpDir,
// with DISPLAY and the xcb platform.
std::vector<std::string> programEnvironment(const std::string& display, const std::filesystem::path& tmpDir);

// A process of the test; stopped (TERM, then KILL) when the test leaves it running.
class Process {
public:
    // Standard output and error go to outFile (created or emptied).
    Process(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& outFile);
    Process(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            const posix_spawn_file_actions_t* actions);
    ~Process() { stop(); }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool started() const { return m_pid > 0; }
    bool running();
    // The exit status (128 + signal for a process ended by a signal) once it has ended
    // within limit.
    std::optional<int> waitFor(std::chrono::milliseconds limit);
    void stop();

private:
    static pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                       const posix_spawn_file_actions_t* actions);

    pid_t m_pid = -1;
    std::optional<int> m_status;
};

// Xvfb on the first free display, which it reports through a pipe (-displayfd), with a
// window manager (openbox, when installed) on it as on a clerk's desktop; the display is
// empty when Xvfb did not start.
class XServer {
public:
    XServer();
    const std::string& display() const { return m_display; }
    bool running() { return m_process && m_process->running(); }

private:
    std::optional<Process> m_process;
    std::optional<Process> m_wm;
    std::string m_display;
};

// Runs xdotool with args on the display; its standard output.
std::string xdotool(const std::string& display, const std::string& args);

// The first window named title on the display, waited for up to 20 seconds while prog
// runs; empty when none came.
std::string waitForWindow(const std::string& display, const std::string& title, Process& prog);

// Presses the keys one after the other on the focused window.
void pressKeys(const std::string& display, const std::vector<std::string>& keys);

// The PDF files that appear in folder, waited for up to 30 seconds while prog runs.
std::vector<std::filesystem::path> waitForPdfs(const std::filesystem::path& folder, Process& prog);

// The text of a PDF as poppler lays it out.
std::string pdfText(const std::filesystem::path& pdf);

// A print through a block report program of the build, driven by key presses.
struct KeyedPrint {
    std::string program; // kov120, kov140
    std::vector<std::string> args; // its command-line arguments
    std::string windowTitle; // the caption of its window
    std::vector<std::string> keys; // pressed before F6 prints
    // Run after the screen has the focus and before the keys, with the display and the
    // screen's window; it gives the focus back to the screen when it moves it.
    std::function<void(const std::string& display, const std::string& window)> beforeKeys = {};
};

// Where the programs of one user run: the program folder they are started from, their
// temporary and runtime folder (TMPDIR, XDG_RUNTIME_DIR, where the one-copy lock lives),
// and the root of their work folders (KOV_WORK_DIR): a program writes its command file
// in <work>/<program>/OVL.TMP.
struct Desk {
    std::filesystem::path app, tmp, work;
};

// The desk of a test with one fixture: the fixture's folders "app", "tmp" and "work".
Desk deskOf(const db::Fixture& fx);

// A KeyedPrint under way: the program started, its screen focused, the keys pressed.
struct StartedPrint {
    std::optional<Process> process;
    std::string window, log;
    std::filesystem::path pdfFolder;
};

// Starts print.program of the build, copied into desk.app, on the X server `display`
// with the fixture's settings (KOV_INI_DIR), printing to PDF into the fixture's folder
// "pdf" with the overlays of the build; waits for its screen, focuses it, runs beforeKeys
// and presses the keys (F6 is the caller's). Call it inside ASSERT_NO_FATAL_FAILURE.
void startKeyedPrint(db::Fixture& fx, const KeyedPrint& print, const Desk& desk, const std::string& display,
                     StartedPrint& started);

// After F6: waits for the one PDF of the print, focuses the screen, ends the program with
// F10 and expects exit status 0. Call it inside ASSERT_NO_FATAL_FAILURE; the PDF is
// returned through pdf.
void finishKeyedPrint(const std::string& display, StartedPrint& started, std::filesystem::path& pdf);

// The whole print on the fixture's desk (deskOf) under an X server of its own: started,
// keyed, printed with F6, finished. Call it inside ASSERT_NO_FATAL_FAILURE; the PDF is
// returned through pdf.
void printThroughProgram(db::Fixture& fx, const KeyedPrint& print, std::filesystem::path& pdf);

// The prints of the end-to-end tests of kov120 and kov140, their rows written into fx:
// kov120 (pay kind 2) of the daily-paid group of blocks 01 and 02, whose command file is
// tests/data/kov120_e2e.ovl.tmp, and kov140 of the monthly-paid group of blocks 01 and
// 03 (kov140_e2e.ovl.tmp).
// Both write GAIJI.INI with E000=𠮷 and name a staff member 𠮷田.
KeyedPrint kov120DailyPaidPrint(db::Fixture& fx);
KeyedPrint kov140TwoBlocksPrint(db::Fixture& fx);
// The name 𠮷田 as the gaiji table makes it: F0 40 in the command file, 𠮷 in the PDF's
// text, drawn from IPAmjMincho.
void expectGaijiName(const std::filesystem::path& commandFile, const std::filesystem::path& pdf);

} // namespace kov::e2e

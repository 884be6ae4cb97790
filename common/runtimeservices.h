#pragma once
// The platform services that the programs use: message boxes, letting pending
// window events run once, ending the program at once, the program's own folder and
// its command line. Logic calls these and never the window system or exit() itself; it
// does not end the program either, but raises a ProgramStop, which the top of the user
// action (runGuarded) shows before it ends the program. The desktop implementation lives
// with the screens; tests use ScriptedRuntime.
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

namespace kov {

enum class MsgIcon { Stop, Exclamation, Question, Information };
enum class MsgButtons { Ok, YesNo };
enum class MsgResult { Ok, Yes, No };

// Exit status of a program that ended through a fatal message or a run-time error.
inline constexpr int kExitFatal = 2;
// Exit status of a program that a launch rule ended (wrong argument, second copy).
inline constexpr int kExitLaunchRule = 3;

// A condition that ends the program with one message: raised where it is found (a
// failing data-access status, a master that cannot be read), it leaves the routines
// below at once (only destructors run on the way) and reaches the top of the user
// action, which shows the message (text, icon, OK, title) and ends the program with the
// exit status (runGuarded). Not a std::exception, so that no handler of other faults on
// the way takes it for one of them.
class ProgramStop {
public:
    ProgramStop(std::string text, MsgIcon icon, std::string title, int exitStatus = kExitFatal)
        : m_text(std::move(text)), m_title(std::move(title)), m_icon(icon), m_exitStatus(exitStatus)
    {
    }
    const std::string& text() const noexcept { return m_text; }
    const std::string& title() const noexcept { return m_title; }
    MsgIcon icon() const noexcept { return m_icon; }
    int exitStatus() const noexcept { return m_exitStatus; }

private:
    std::string m_text, m_title;
    MsgIcon m_icon;
    int m_exitStatus;
};

// The phases of a print run: the pages written into the command file, then the pages
// that the print engine has drawn.
enum class ProgressPhase { PagesWritten, PagesDrawn };

class RuntimeServices {
public:
    virtual ~RuntimeServices();

    // Shows a message box. Every box is also written to standard error as one line
    // (title and text), so that support staff and tests can see what the user saw.
    MsgResult msgBox(const std::string& text, MsgIcon icon, MsgButtons buttons, const std::string& title);

    // Lets pending window events run once.
    virtual void doEvents() = 0;
    // Ends the program at once (endProcess); nothing of the program runs after it but the
    // removal of the files not yet committed (kov::discardPendingFiles).
    [[noreturn]] void endProgram(int exitStatus);
    // Shows the stop's message, then ends the program with its exit status.
    [[noreturn]] void endWith(const ProgramStop& stop);
    // The folder of the running program file, without a trailing separator.
    virtual std::string appPath() const = 0;
    // The raw command-line text after the program name.
    virtual std::string commandLine() const = 0;

    // Tells the desktop that a job is done (summary: the screen's caption), where the
    // desktop offers notifications. Nothing waits for it; without such a service, and by
    // default, nothing happens.
    virtual void notify(const std::string& summary, const std::string& body);

    // How far a long run is, in its phase: the pages so far of that phase (each phase
    // counts from 1); the screen that waits for the run (while it shows) listens.
    void reportProgress(ProgressPhase phase, int pages)
    {
        if (m_progress) m_progress(phase, pages);
    }
    using ProgressListener = std::function<void(ProgressPhase phase, int pages)>;
    void setProgressListener(ProgressListener listener) { m_progress = std::move(listener); }

protected:
    // Ends the process with the status (a test's runtime may leave by an exception
    // instead); never returns. Called by endProgram only.
    virtual void endProcess(int exitStatus) = 0;
    virtual MsgResult showMessage(const std::string& text, MsgIcon icon, MsgButtons buttons,
                                  const std::string& title) = 0;

private:
    ProgressListener m_progress;
};

// The folder in which the settings files (KOV.INI, KOVENV.INI, OVLPRINT.INI) are looked
// up, the first of: the folder that the environment variable KOV_INI_DIR names when it
// is set and not empty; the program's own folder when it holds one of the three files
// (names matched without regard to case); the system's settings folder (/etc/kov, where
// the package puts them) when it exists; else the program's own folder.
std::string settingsFolder(const std::string& appPath);
// The same with another system settings folder (for tests).
std::string settingsFolder(const std::string& appPath, const std::string& systemFolder);

// Makes the folders that KOV_INI_DIR and KOV_WORK_DIR name absolute, against the folder
// the process was started in, so that a relative one (KOV_INI_DIR=build/demo) means the
// same to the programs that this one starts in other folders. Called once at start.
void anchorFolderVariables();

#ifndef KOV_SYSTEM_SETTINGS_DIR
#define KOV_SYSTEM_SETTINGS_DIR "/etc/kov"
#endif
inline constexpr const char* kSystemSettingsFolder = KOV_SYSTEM_SETTINGS_DIR;

// Runs one user action: the one place where a stop ends the program. A ProgramStop
// raised inside it is shown and ends the program (RuntimeServices::endWith); a
// RuntimeError is shown as a stop-icon message that names the fault, with `title` as the
// box title, and the program then ends with exit status kExitFatal. Returns normally
// when the action did.
void runGuarded(RuntimeServices& rt, const std::string& title, const std::function<void()>& action);

} // namespace kov

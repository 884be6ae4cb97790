#pragma once
// The desktop implementation of the runtime services: Qt message boxes, one pass of
// the event loop, ending the process at once, the program's folder and command line.
#include "common/runtimeservices.h"

#include <QDBusPendingCall>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace kov::ui {

// The raw command-line text after the program name: the arguments joined by a single
// blank ("" when there is none). Taken from argv before QApplication removes its own
// options, so that the program sees exactly what it was started with.
std::string commandLineOf(int argc, char** argv);

class QtRuntime : public kov::RuntimeServices {
public:
    explicit QtRuntime(std::string commandLine);

    // One pass of QCoreApplication::processEvents().
    void doEvents() override;
    // QCoreApplication::applicationDirPath(), without a trailing separator.
    std::string appPath() const override;
    std::string commandLine() const override { return m_commandLine; }
    // A freedesktop notification (org.freedesktop.Notifications on the session bus),
    // sent without waiting for its answer; nothing without a session bus or service.
    // endProgram gives the notifications sent a moment (at most half a second) to leave.
    void notify(const std::string& summary, const std::string& body) override;

    // Work that must happen right before the process ends (releasing the single-copy
    // lock). Hooks run in reverse order of registration.
    void addEndHook(std::function<void()> hook);

protected:
    // Runs the registered end hooks, flushes stdio and ends the process with _exit:
    // no destructor, no event and no other code of the program runs after it.
    [[noreturn]] void endProcess(int exitStatus) override;
    // A QMessageBox, modal over the active window, with the icon (Stop = Critical,
    // Exclamation = Warning, Question, Information), OK or Yes/No ("はい(Y)" the
    // default button on Return, "いいえ(N)" the answer to Escape), and the title as
    // given; an empty title stays empty on screen (no program name put in its place).
    MsgResult showMessage(const std::string& text, MsgIcon icon, MsgButtons buttons, const std::string& title) override;

private:
    std::string m_commandLine;
    std::vector<std::function<void()>> m_endHooks;
    std::vector<QDBusPendingCall> m_notifications;
};

// Runs one user action like kov::runGuarded, and ends the program the same way (stop-
// icon message naming the fault, exit status kov::kExitFatal) for any other exception,
// so that none crosses the event loop. Every press handler and start routine uses it.
void runGuardedAction(kov::RuntimeServices& rt, const std::string& title, const std::function<void()>& action);

// Sets the title of a top-level window. An empty title is shown as empty: the window
// system would otherwise put the program name in its place.
void setWindowCaption(QWidget* window, const QString& caption);

} // namespace kov::ui

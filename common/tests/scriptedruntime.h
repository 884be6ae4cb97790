#pragma once
// RuntimeServices for tests: records every message box, answers with planned
// answers, counts event-pump passes and turns "end the program" into a
// ProgramEnded exception that the test catches.
#include "common/runtimeservices.h"

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kov {

struct ProgramEnded {
    int exitStatus;
};

struct RecordedMessage {
    std::string text;
    MsgIcon icon;
    MsgButtons buttons;
    std::string title;
};

class ScriptedRuntime : public RuntimeServices {
public:
    explicit ScriptedRuntime(std::string appPath = ".", std::string commandLine = {});

    void doEvents() override;
    std::string appPath() const override { return m_appPath; }
    std::string commandLine() const override { return m_commandLine; }

    void setAppPath(std::string p) { m_appPath = std::move(p); }
    void setCommandLine(std::string c) { m_commandLine = std::move(c); }
    // Answers for the next Yes/No boxes, in order; an OK box always answers Ok, and a
    // Yes/No box with no planned answer answers Yes.
    void planAnswer(MsgResult answer) { m_answers.push_back(answer); }
    // Called on every doEvents pass (lets a test inject a key press through the pump).
    std::function<void()> onDoEvents;
    // Called while a message box is open, before it is answered (lets a test change the
    // world while the user reads it).
    std::function<void(const RecordedMessage&)> onMessage;

    // Records the notification (summary, body).
    void notify(const std::string& summary, const std::string& body) override
    {
        notifications.emplace_back(summary, body);
    }

    std::vector<RecordedMessage> messages;
    std::vector<std::pair<std::string, std::string>> notifications;
    int doEventsCount = 0;

protected:
    // Leaves by a ProgramEnded exception.
    [[noreturn]] void endProcess(int exitStatus) override;
    MsgResult showMessage(const std::string& text, MsgIcon icon, MsgButtons buttons, const std::string& title) override;

private:
    std::string m_appPath;
    std::string m_commandLine;
    std::deque<MsgResult> m_answers;
};

} // namespace kov

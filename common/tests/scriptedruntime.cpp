#include "common/tests/scriptedruntime.h"

#include "common/safefile.h"

namespace kov {

ScriptedRuntime::ScriptedRuntime(std::string appPath, std::string commandLine)
    : m_appPath(std::move(appPath)), m_commandLine(std::move(commandLine))
{
}

void ScriptedRuntime::doEvents()
{
    ++doEventsCount;
    if (onDoEvents) onDoEvents();
}

// As the real program's end: what is not committed is removed, whoever still holds it.
void ScriptedRuntime::endProcess(int exitStatus)
{
    discardPendingFiles();
    throw ProgramEnded{exitStatus};
}

MsgResult ScriptedRuntime::showMessage(const std::string& text, MsgIcon icon, MsgButtons buttons,
                                       const std::string& title)
{
    messages.push_back({text, icon, buttons, title});
    if (onMessage) onMessage(messages.back());
    if (buttons == MsgButtons::Ok) return MsgResult::Ok;
    if (m_answers.empty()) return MsgResult::Yes;
    const MsgResult a = m_answers.front();
    m_answers.pop_front();
    return a;
}

} // namespace kov

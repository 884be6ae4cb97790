#include "common/ui/startup.h"

#include "common/ui/fonts.h"
#include "common/ui/singlecopy.h"

#include <QApplication>

namespace kov::ui {

std::optional<int16_t> parseKov120Argument(const std::string& commandLine)
{
    if (commandLine == "2") return int16_t{2};
    if (commandLine == "5") return int16_t{5};
    if (commandLine == "25") return int16_t{25};
    return std::nullopt;
}

int runProgram(int argc, char** argv, const QString& programName, const StartMain& startMain)
{
    // Before QApplication takes out the options it knows (-style, -reverse, ...).
    QtRuntime rt(commandLineOf(argc, argv));
    QApplication app(argc, argv);
    installJapaneseFonts();
    QApplication::setFont(screenFont());

    FrmBack back;
    rt.addEndHook([&back] {
        if (SingleCopyGuard* g = back.singleCopyGuard()) g->release();
    });
    const std::string title = programName.toStdString();
    runGuardedAction(rt, title, [&] {
        back.load(rt, programName);
        back.showBack();
        startMain(rt, back);
    });
    const int status = app.exec();
    rt.endProgram(status);
}

} // namespace kov::ui

#include "common/ui/startup.h"

#include "common/dataaccess/dataaccess.h"
#include "common/ui/fonts.h"
#include "common/ui/singlecopy.h"

#include <QApplication>

namespace kov::ui {

int runProgram(int argc, char** argv, const QString& programName, const StartMain& startMain)
{
    // The argument belongs to the program: Qt sees only the program name, so that an
    // argument such as "-reverse" or "-style x" is neither taken out nor obeyed.
    QtRuntime rt(commandLineOf(argc, argv));
    static char* qtArgv[] = {argc > 0 ? argv[0] : nullptr, nullptr};
    static int qtArgc = argc > 0 ? 1 : 0;
    QApplication app(qtArgc, qtArgv);
    installJapaneseFonts();
    QApplication::setFont(screenFont());
    // The component names its server sessions after the program, and keeps the screens
    // painted while it waits on a server (the keys stay dead until the wait ends).
    dataaccess::setProgramName(programName.toStdString());
    dataaccess::setWaitHook([] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });

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

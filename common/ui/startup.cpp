#include "common/ui/startup.h"

#include "common/dataaccess/dataaccess.h"
#include "common/ui/fonts.h"
#include "common/ui/singlecopy.h"

#include <QApplication>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <cstdlib>

#ifndef KOV_VERSION
#define KOV_VERSION "0"
#endif

namespace kov::ui {

std::string defaultUsage(const std::string& programName)
{
    return "使い方: " + programName + " 引数（空でない文字。処理メニューから起動します。末尾の @ で背景を出しません）";
}

void printUsage(const std::string& usage)
{
    std::fprintf(stderr, "%s\n", usage.c_str());
    std::fflush(stderr);
}

void answerStandardOptions(const std::string& commandLine, const std::string& programName, const std::string& usage)
{
    if (commandLine == "--help") {
        printUsage(usage);
        std::exit(kov::kExitLaunchRule);
    }
    if (commandLine == "--version") {
        std::printf("%s %s\n", programName.c_str(), KOV_VERSION);
        std::fflush(stdout);
        std::exit(0);
    }
}

void raiseScreens(const QWidget* back)
{
    QWidget* top = nullptr;
    const auto bringUp = [&](QWidget* w) {
        if (w == back || !w->isVisible() || !w->windowHandle()) return;
        if (w->isMinimized()) w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
        w->raise();
        top = w;
    };
    // The main screens first, then the dialogs that stand over them.
    for (QWidget* w : QApplication::topLevelWidgets())
        if (!w->windowFlags().testFlag(Qt::Dialog) && w->windowType() != Qt::Dialog) bringUp(w);
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->windowType() == Qt::Dialog) bringUp(w);
    if (QWidget* modal = QApplication::activeModalWidget()) bringUp(modal);
    if (!top) return;
    top->activateWindow();
    top->windowHandle()->requestActivate();
}

int runProgram(int argc, char** argv, const QString& programName, const StartMain& startMain, const std::string& usage)
{
    kov::anchorFolderVariables();
    answerStandardOptions(commandLineOf(argc, argv), programName.toStdString(),
                          usage.empty() ? defaultUsage(programName.toStdString()) : usage);
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
    rt.addEndHook([] { dataaccess::callEndHook(); });
    const std::string title = programName.toStdString();
    runGuardedAction(rt, title, [&] {
        back.load(rt, programName);
        if (SingleCopyGuard* g = back.singleCopyGuard()) g->setRaiseHandler([&back] { raiseScreens(&back); });
        back.showBack();
        startMain(rt, back);
    });
    const int status = app.exec();
    rt.endProgram(status);
}

} // namespace kov::ui

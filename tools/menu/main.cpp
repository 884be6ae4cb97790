// kovmenu: starts the programs of the suite. One menu runs per user: a second start
// brings the running menu to the front and ends (exit status 3), as the programs do.
#include "common/runtimeservices.h"
#include "common/ui/fonts.h"
#include "common/ui/qtruntime.h"
#include "common/ui/singlecopy.h"
#include "common/ui/startup.h"
#include "common/ui/twips.h"
#include "tools/menu/menuwindow.h"

#include <QApplication>

namespace {
constexpr const char* kUsage = "使い方: kovmenu（引数なし。給与システムの処理メニューを開きます）";
}

int main(int argc, char** argv)
{
    kov::anchorFolderVariables();
    const std::string line = kov::ui::commandLineOf(argc, argv);
    kov::ui::answerStandardOptions(line, "kovmenu", kUsage);
    if (!line.empty()) {
        kov::ui::printUsage(kUsage);
        return kov::kExitLaunchRule;
    }
    kov::ui::QtRuntime rt(line);
    QApplication app(argc, argv);
    kov::ui::SingleCopyGuard guard(QStringLiteral("kovmenu"));
    if (!guard.acquire()) return kov::kExitLaunchRule;
    rt.addEndHook([&guard] { guard.release(); });
    kov::ui::installJapaneseFonts();
    QApplication::setFont(kov::ui::screenFont());
    const QString folder = QString::fromStdString(rt.appPath());
    const QString settings = QString::fromStdString(kov::settingsFolder(rt.appPath()));
    kov::menu::MenuWindow window(rt, folder, settings);
    guard.setRaiseHandler([] { kov::ui::raiseScreens(nullptr); });
    kov::ui::centreScreen(&window);
    window.show();
    return app.exec();
}

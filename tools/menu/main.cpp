// kovmenu: starts the programs of the suite.
#include "common/runtimeservices.h"
#include "common/ui/fonts.h"
#include "common/ui/qtruntime.h"
#include "common/ui/twips.h"
#include "tools/menu/menuwindow.h"

#include <QApplication>

int main(int argc, char** argv)
{
    kov::ui::QtRuntime rt(kov::ui::commandLineOf(argc, argv));
    QApplication app(argc, argv);
    kov::ui::installJapaneseFonts();
    QApplication::setFont(kov::ui::screenFont());
    const QString folder = QString::fromStdString(rt.appPath());
    const QString settings = QString::fromStdString(kov::settingsFolder(rt.appPath()));
    kov::menu::MenuWindow window(rt, folder, settings);
    kov::ui::centreScreen(&window);
    window.show();
    return app.exec();
}

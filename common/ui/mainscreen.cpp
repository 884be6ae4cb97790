#include "common/ui/mainscreen.h"

#include "common/ui/fonts.h"
#include "common/ui/qtruntime.h"
#include "common/ui/twips.h"

#include <QEvent>
#include <QWidget>

namespace kov::ui {

namespace {
// Ignores the window system's close requests on a main screen.
class NoControlBox : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Close && event->spontaneous()) {
            event->ignore();
            return true;
        }
        return false;
    }
};
} // namespace

void setupMainScreen(QWidget* screen, const QString& caption, int clientWidthTwips, int clientHeightTwips)
{
    screen->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::MSWindowsFixedSizeDialogHint);
    setWindowCaption(screen, caption);
    screen->setFont(screenFont());
    screen->setFixedSize(twipsToPx(clientWidthTwips), twipsToPx(clientHeightTwips));
    screen->installEventFilter(new NoControlBox(screen));
    centreScreen(screen);
}

} // namespace kov::ui

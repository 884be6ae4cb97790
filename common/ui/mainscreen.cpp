#include "common/ui/mainscreen.h"

#include "common/ui/fonts.h"
#include "common/ui/qtruntime.h"
#include "common/ui/twips.h"

#include <QEvent>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace kov::ui {

namespace {

// The decoration hints of an X11 window (_MOTIF_WM_HINTS) that ask for a fixed border
// and nothing else: the window may be moved, not resized, minimised, maximised or closed,
// and no title bar carries buttons for it. Window managers that cannot leave the buttons
// out of a title bar (openbox draws close, minimise and maximise on every title bar) then
// draw the border alone. Qt's own request for a title bar without buttons names only the
// functions, which such managers ignore.
void requestBorderOnly(QWidget* screen)
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection()) return;
    xcb_connection_t* conn = x11->connection();
    static constexpr char kAtomName[] = "_MOTIF_WM_HINTS";
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(conn, xcb_intern_atom(conn, 0, std::strlen(kAtomName), kAtomName), nullptr);
    if (!reply) return;
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    enum : uint32_t { HintsFunctions = 1, HintsDecorations = 2, FuncMove = 4, DecorBorder = 2 };
    const uint32_t hints[5] = {HintsFunctions | HintsDecorations, FuncMove, DecorBorder, 0, 0};
    xcb_change_property(conn, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(screen->winId()), atom, atom, 32, 5,
                        hints);
    xcb_flush(conn);
}

// A main screen has no control box: the window system's close requests (Alt+F4, the
// window manager's menu) are ignored, a minimise that the window manager still offers
// (openbox's window menu on Alt+Space) is undone at once, so that the clerk never faces
// the bare background, and the window manager is asked, each time before the screen is
// mapped, for a border without buttons.
class NoControlBox : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!watched->isWidgetType()) return false;
        auto* screen = static_cast<QWidget*>(watched);
        switch (event->type()) {
        case QEvent::Close:
            if (!event->spontaneous()) return false;
            event->ignore();
            return true;
        case QEvent::Show:
            requestBorderOnly(screen);
            break;
        case QEvent::WindowStateChange:
            if (screen->isMinimized())
                QTimer::singleShot(0, screen, [screen] {
                    screen->setWindowState(screen->windowState() & ~Qt::WindowMinimized);
                    screen->show();
                    screen->raise();
                    screen->activateWindow();
                });
            break;
        default:
            break;
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

void setOpeningFocus(QWidget* control)
{
    control->setFocus(Qt::OtherFocusReason);
    control->window()->setAttribute(Qt::WA_KeyboardFocusChange);
}

} // namespace kov::ui

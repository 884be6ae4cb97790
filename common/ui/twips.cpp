#include "common/ui/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace kov::ui {

double logicalDpi()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return 96.0;
    const double dpi = screen->logicalDotsPerInchY();
    return dpi > 0 ? dpi : 96.0;
}

int twipsToPx(int twips) { return static_cast<int>(std::lround(twips * logicalDpi() / 1440.0)); }

int pxToTwips(int px) { return static_cast<int>(std::lround(px * 1440.0 / logicalDpi())); }

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPx(left), twipsToPx(top), twipsToPx(width), twipsToPx(height));
}

QPoint centredTopLeftTwips(int areaWidth, int areaHeight, int windowWidth, int windowHeight)
{
    const int left = (areaWidth - windowWidth) / 2;
    int top = (areaHeight - windowHeight) / 2;
    if (top <= 480) top = 0;
    return QPoint(left, top);
}

void centreScreen(QWidget* window)
{
    QScreen* screen = window->screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    // The outer size: the frame around the client area counts as part of the window.
    QSize outer = window->frameGeometry().size();
    if (!window->isVisible() || outer.isEmpty()) outer = window->size();
    const QPoint tw = centredTopLeftTwips(pxToTwips(area.width()), pxToTwips(area.height()), pxToTwips(outer.width()),
                                          pxToTwips(outer.height()));
    window->move(area.x() + twipsToPx(tw.x()), area.y() + twipsToPx(tw.y()));
}

} // namespace kov::ui

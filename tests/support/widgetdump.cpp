#include "tests/support/widgetdump.h"

#include "common/cp932.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPalette>
#include <QWidget>

namespace kov::test {

namespace {

void dumpChildren(const QWidget& parent, int depth, std::string& out)
{
    for (const QObject* child : parent.children()) {
        const auto* w = qobject_cast<const QWidget*>(child);
        if (!w || w->isWindow()) continue;
        const QRect g = w->geometry();
        QString line = QString(depth * 2, ' ') + w->metaObject()->className() + ' ' +
                       (w->objectName().isEmpty() ? QStringLiteral("-") : w->objectName()) +
                       QStringLiteral(" %1 %2 %3 %4").arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height());
        if (const auto* label = qobject_cast<const QLabel*>(w)) line += " \"" + label->text() + '"';
        if (const auto* button = qobject_cast<const QAbstractButton*>(w)) line += " \"" + button->text() + '"';
        if (w->testAttribute(Qt::WA_SetPalette))
            line += " fg " + w->palette().color(QPalette::WindowText).name() + " bg " +
                    w->palette().color(QPalette::Window).name();
        if (!w->isEnabled()) line += " disabled";
        out += cp932::fromUtf8(line.toStdString()) + "\r\n";
        dumpChildren(*w, depth + 1, out);
    }
}

} // namespace

std::string layoutDump(const QWidget& window)
{
    const QSize s = window.size();
    std::string out =
        cp932::fromUtf8(QStringLiteral("%1 \"%2\" %3 %4\r\n")
                            .arg(QString::fromLatin1(window.metaObject()->className()), window.windowTitle())
                            .arg(s.width())
                            .arg(s.height())
                            .toStdString());
    dumpChildren(window, 1, out);
    return out;
}

} // namespace kov::test

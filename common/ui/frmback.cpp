#include "common/ui/frmback.h"

#include "common/runtimeservices.h"
#include "common/text.h"
#include "common/ui/singlecopy.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QTimer>

namespace kov::ui {

FrmBack::FrmBack(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint)
{
    // Kept below the other windows: a click on the background must not hide the main
    // screen behind it.
    setObjectName(QStringLiteral("frmBack"));
    setWindowTitle(QStringLiteral("frmBack"));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0, 64, 64));
    setPalette(pal);
    setAutoFillBackground(true);
    if (QScreen* s = QGuiApplication::primaryScreen()) setGeometry(s->geometry());
    setWindowState(Qt::WindowMaximized);
}

FrmBack::~FrmBack() = default;

void FrmBack::load(kov::RuntimeServices& rt, const QString& programName)
{
    const std::string arg = kov::text::trim(rt.commandLine());
    if (arg.empty()) {
        if (p_iFrmBackOption == 0) rt.endProgram(kov::kExitLaunchRule);
    } else if (arg.back() == '@') {
        setWindowState(Qt::WindowNoState);
        setMinimumSize(0, 0);
        resize(0, 0);
        m_shrunk = true;
        rt.doEvents();
    }
    m_guard = std::make_unique<SingleCopyGuard>(programName);
    if (!m_guard->acquire()) rt.endProgram(kov::kExitLaunchRule);
}

void FrmBack::closeEvent(QCloseEvent* event)
{
    if (event->spontaneous()) event->ignore();
}

void FrmBack::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized())
        QTimer::singleShot(0, this, [this] {
            setWindowState(windowState() & ~Qt::WindowMinimized);
            show();
        });
}

void FrmBack::showBack()
{
    if (m_shrunk) {
        show();
        return;
    }
    if (QScreen* s = screen()) setGeometry(s->geometry());
    showMaximized();
}

} // namespace kov::ui

#include "common/ui/pfkeybar.h"

#include "common/runtimeservices.h"
#include "common/ui/fonts.h"
#include "common/ui/qtruntime.h"
#include "common/ui/twips.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QWidget>

namespace kov::ui {

PfKeyBar::PfKeyBar(QWidget* screen, kov::RuntimeServices& rt, const PfButtonLefts& left, PfPressStyle style)
    : QObject(screen), m_screen(screen), m_rt(rt), m_style(style)
{
    for (int i = 0; i < kCount; ++i) {
        auto* b = new QPushButton(screen);
        b->setObjectName(QStringLiteral("cmdPFKEY_%1").arg(i));
        b->setFont(screenFont());
        b->setGeometry(twipsRect(left[static_cast<std::size_t>(i)], kTop, kWidth, kHeight));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, i] { press(i); });
        m_buttons[static_cast<std::size_t>(i)] = b;
    }
    // Application-wide, so that the key handler sees a key before the control that has
    // the focus (and before any filter on that control).
    qApp->installEventFilter(this);
}

PfKeyBar::~PfKeyBar()
{
    if (qApp) qApp->removeEventFilter(this);
}

QPushButton* PfKeyBar::button(int index) const
{
    if (index < 0 || index >= kCount) return nullptr;
    return m_buttons[static_cast<std::size_t>(index)];
}

void PfKeyBar::setCaption(int index, const QString& caption)
{
    if (QPushButton* b = button(index)) b->setText(caption);
}

void PfKeyBar::setEnabled(int index, bool enabled)
{
    if (QPushButton* b = button(index)) b->setEnabled(enabled);
}

void PfKeyBar::setAction(std::function<void(int)> action) { m_action = std::move(action); }

void PfKeyBar::press(int index)
{
    QPushButton* b = button(index);
    if (!b || !b->isEnabled()) return;
    const int16_t busyValue = m_style == PfPressStyle::BusyCheckFirst ? int16_t{1} : int16_t{-1};
    if (m_style == PfPressStyle::BusyCheckFirst) {
        if (p_iPfBusy == busyValue) return;
        b->setFocus(Qt::OtherFocusReason);
    } else {
        b->setFocus(Qt::OtherFocusReason);
        m_rt.doEvents();
        if (p_iPfBusy == busyValue) return;
    }
    p_iPfBusy = busyValue;
    // Back to idle however the action ends (a run-time error ends the program through
    // runGuarded; under test that end is an exception passing through here).
    struct Idle {
        int16_t& busy;
        ~Idle() { busy = 0; }
    } idle{p_iPfBusy};
    if (m_action) {
        const std::string title = m_screen->windowTitle().toStdString();
        runGuardedAction(m_rt, title, [&] { m_action(index); });
    }
}

bool PfKeyBar::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress) return false;
    auto* target = qobject_cast<QWidget*>(watched);
    if (!target || !target->isEnabled()) return false;
    if (target != m_screen && !m_screen->isAncestorOf(target)) return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key < Qt::Key_F1 || key > Qt::Key_F12) return false;
    press(key - Qt::Key_F1);
    return true;
}

} // namespace kov::ui

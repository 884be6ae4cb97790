#include "common/ui/optiongroup.h"

#include <QAbstractButton>
#include <QEvent>
#include <QKeyEvent>
#include <QPointer>

namespace kov::ui {

namespace {

class OptionGroupKeys : public QObject {
public:
    OptionGroupKeys(const QList<QAbstractButton*>& options, QObject* parent) : QObject(parent)
    {
        for (QAbstractButton* o : options) m_options.append(o);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
        int step = 0;
        switch (key->key()) {
        case Qt::Key_Up:
        case Qt::Key_Left:
            step = -1;
            break;
        case Qt::Key_Down:
        case Qt::Key_Right:
            step = 1;
            break;
        default:
            return false;
        }
        const int count = static_cast<int>(m_options.size());
        int at = -1;
        for (int i = 0; i < count; ++i)
            if (m_options[i] == watched) at = i;
        if (at < 0) return false;
        for (int n = 1; n < count; ++n) {
            QAbstractButton* next = m_options[((at + step * n) % count + count) % count];
            if (next && next->isEnabled() && next->isVisible()) {
                next->setFocus(Qt::TabFocusReason);
                next->click();
                break;
            }
        }
        return true;
    }

private:
    QList<QPointer<QAbstractButton>> m_options;
};

} // namespace

void linkOptionGroup(const QList<QAbstractButton*>& options)
{
    if (options.isEmpty()) return;
    auto* keys = new OptionGroupKeys(options, options.first());
    for (QAbstractButton* o : options) o->installEventFilter(keys);
}

} // namespace kov::ui

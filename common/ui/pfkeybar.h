#pragma once
// The function-key bar of the main screens: twelve buttons cmdPFKEY(0..11) that mirror
// F1 to F12 (their enable table is ComPFMode, common/pfmode.h), the key handler that turns F1..F12 into button
// presses before any control of the screen sees them, and the press handler that runs
// the screen's action for a button, dropping presses while an action runs.
#include "common/pfmode.h"

#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>

class QPushButton;
class QWidget;

namespace kov {
class RuntimeServices;
}

namespace kov::ui {

using kov::ComPFMode;

// Left edges (twips) of the twelve buttons, index 0 to 11: each screen passes its own.
using PfButtonLefts = std::array<int, 12>;

// How the press handler orders its steps.
enum class PfPressStyle {
    // disabled → nothing; focus; doEvents; busy (−1) → dropped; else −1, action, 0.
    Standard,
    // disabled → nothing; busy (1) → dropped; focus without doEvents; 1, action, 0.
    BusyCheckFirst,
};

class PfKeyBar : public QObject {
    Q_OBJECT
public:
    static constexpr int kCount = 12;
    static constexpr int kTop = 7500;
    static constexpr int kWidth = 855;
    static constexpr int kHeight = 315;

    // Creates the buttons (no caption, enabled) as children of screen and installs the
    // key handler. The screen's actions run through kov::runGuarded with the screen's
    // window title; rt's doEvents is the event pump of the press handler.
    PfKeyBar(QWidget* screen, kov::RuntimeServices& rt, const PfButtonLefts& lefts,
             PfPressStyle style = PfPressStyle::Standard);
    ~PfKeyBar() override;

    QPushButton* button(int index) const;
    void setCaption(int index, const QString& caption);
    void setEnabled(int index, bool enabled);
    // The screen's action for a button index.
    void setAction(std::function<void(int)> action);

    // The press handler (a click and a function key both come here).
    void press(int index);

    // −1 (BusyCheckFirst: 1) while an action runs, 0 otherwise.
    int16_t p_iPfBusy = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_screen;
    kov::RuntimeServices& m_rt;
    PfPressStyle m_style;
    std::array<QPushButton*, 12> m_buttons{};
    std::function<void(int)> m_action;
};

} // namespace kov::ui

#pragma once
// The background screen of every program and its load step, which applies the launch
// rules: no start without an argument, "@" shrinks the background to nothing, and only
// one running copy of a program.
#include <QWidget>

#include <cstdint>
#include <memory>

namespace kov {
class RuntimeServices;
}

namespace kov::ui {

class SingleCopyGuard;

class FrmBack : public QWidget {
    Q_OBJECT
public:
    explicit FrmBack(QWidget* parent = nullptr);
    ~FrmBack() override;

    // 0 by default; no program of the suite sets it.
    int16_t p_iFrmBackOption = 0;

    // The load step. Takes rt.commandLine() trimmed of blanks: empty (with option 0)
    // ends the program silently with kov::kExitLaunchRule; a trailing "@" sets the
    // normal state and a size of 0 x 0 and lets events run once; then a second copy of
    // programName running for this user ends the program silently (kExitLaunchRule).
    void load(kov::RuntimeServices& rt, const QString& programName);
    // Shows the screen: maximised over the whole screen, or shrunk after "@".
    void showBack();
    // True when the load step shrank the screen ("@").
    bool isShrunk() const { return m_shrunk; }
    // The single-copy lock the load step holds (null before the load step).
    SingleCopyGuard* singleCopyGuard() const { return m_guard.get(); }

protected:
    // The background has no control box either: a close request of the window system
    // (Alt+F4 on it) does nothing, and a minimise (the window manager's menu) is undone.
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    bool m_shrunk = false;
    std::unique_ptr<SingleCopyGuard> m_guard;
};

} // namespace kov::ui

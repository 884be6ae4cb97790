#pragma once
// The wait screen shown over a disabled main screen during a long run, and the one
// protocol by which every screen shows it.
#include <QDialog>
#include <QElapsedTimer>

#include <functional>

class QLabel;

namespace kov {
class RuntimeServices;
enum class ProgressPhase;
} // namespace kov

namespace kov::ui {

// Fixed-size dialog, client area 4680 x 1710 twips, centred; "ただいま処理中です。"
// and "しばらくお待ち下さい。" in "ＭＳ ゴシック" 9 point. The caller sets the caption.
class FrmOMACHI : public QDialog {
    Q_OBJECT
public:
    explicit FrmOMACHI(QWidget* parent = nullptr);

    QLabel* label1() const { return m_label1; }
    QLabel* label2() const { return m_label2; }
    // How far the run is, below the two lines: empty until the run has taken two seconds,
    // then "これまでに N ページを作成しました。", repainted at once: the window system's
    // paint requests are taken, the user's input is not.
    QLabel* progressLabel() const { return m_progress; }
    void showProgress(kov::ProgressPhase phase, int pagesDone);

protected:
    // The user cannot send the wait screen away (no Escape, no close): it goes when the
    // work is done.
    void reject() override {}
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* m_label1;
    QLabel* m_label2;
    QLabel* m_progress;
    QElapsedTimer m_shown;
    qint64 m_lastPaint = -1;
};

// The wait-screen protocol: load FrmOMACHI; caption = caller's window title; show it
// not modal; disable caller; rt.doEvents() once; work(); enable caller; delete the wait
// screen; rt.doEvents() once. While it shows, the run's progress reports (rt.reportProgress)
// go to its progress line. When work() throws, the caller is enabled again and the
// wait screen is gone before the exception goes on.
void runWithWaitScreen(QWidget* caller, kov::RuntimeServices& rt, const std::function<void()>& work);

} // namespace kov::ui

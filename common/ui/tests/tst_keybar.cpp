// The function-key bar on a real screen widget with real key and mouse events; only the
// event pump and the program end come from the scripted runtime.
#include "common/runtimeerror.h"
#include "common/tests/scriptedruntime.h"
#include "common/ui/pfkeybar.h"
#include "common/ui/twips.h"

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using kov::ScriptedRuntime;
using kov::ui::PfKeyBar;

namespace {

// Button lefts of a block report screen.
constexpr kov::ui::PfButtonLefts kKeyLefts = {375, 1230, 2085, 2940, 4095, 4950, 5805, 6660, 7815, 8670, 9525, 10380};

// Counts the key presses that reach a control.
class KeyCounter : public QObject {
public:
    QList<int> keys;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() != QEvent::KeyPress) return false;
        const int key = static_cast<QKeyEvent*>(e)->key();
        // The modifier keys themselves are no concern of the bar.
        if (key != Qt::Key_Shift && key != Qt::Key_Control) keys << key;
        return false;
    }
};

struct Screen {
    explicit Screen(ScriptedRuntime& rt, kov::ui::PfPressStyle style = kov::ui::PfPressStyle::Standard)
        : bar(&widget, rt, kKeyLefts, style)
    {
        widget.setWindowTitle(QStringLiteral("期末勤勉手当支給調書印刷"));
        widget.resize(kov::ui::twipsToPx(11610), kov::ui::twipsToPx(7875));
        edit = new QLineEdit(&widget);
        edit->installEventFilter(&counter);
        // Mode 0 of the block report screens: F1, F6 and F10.
        for (int i = 0; i < 12; ++i) bar.setEnabled(i, i == 0 || i == 5 || i == 9);
        bar.setAction([this](int index) {
            actions << index;
            busyDuringAction << bar.p_iPfBusy;
            if (inAction) inAction(index);
        });
        widget.show();
        QApplication::setActiveWindow(&widget);
        active = QTest::qWaitForWindowActive(&widget);
        edit->setFocus();
    }
    bool active = false;
    QWidget widget;
    PfKeyBar bar;
    QLineEdit* edit;
    KeyCounter counter;
    QList<int> actions;
    QList<int> busyDuringAction;
    std::function<void(int)> inAction;
};

} // namespace

class KeyBarTest : public QObject {
    Q_OBJECT
private slots:
    void enableTableTakesOnlyOne();
    void functionKeysPressTheirButtonsAndOnlyOtherKeysReachTheControls();
    void clickAndFunctionKeyBehaveAlike();
    void pressThroughTheEventPumpIsDropped();
    void runtimeErrorInAnActionEndsTheProgramAndLeavesTheBarIdle();
    void busyCheckFirstTestsBusyFirstAndDoesNotPumpEvents();
};

void KeyBarTest::enableTableTakesOnlyOne()
{
    kov::ui::ComPFMode mode;
    mode.p_bPFKey.fill(-1);
    mode.prsPFMode({1, 0, 2, -1, 1, 1, 0, 0, 0, 1, 0, 1});
    const std::array<int16_t, 12> want{-1, 0, 0, 0, -1, -1, 0, 0, 0, -1, 0, -1};
    QCOMPARE(mode.p_bPFKey, want);
}

void KeyBarTest::functionKeysPressTheirButtonsAndOnlyOtherKeysReachTheControls()
{
    ScriptedRuntime rt;
    Screen s(rt);
    QVERIFY(s.active);
    // The key of a disabled button is consumed and does nothing.
    for (Qt::Key k : {Qt::Key_F2, Qt::Key_F5, Qt::Key_F12}) QTest::keyClick(s.edit, k);
    QVERIFY(s.actions.isEmpty());
    QVERIFY(s.counter.keys.isEmpty());
    QCOMPARE(QApplication::focusWidget(), s.edit);
    QCOMPARE(rt.doEventsCount, 0);
    // Other keys reach the controls.
    QTest::keyClicks(s.edit, QStringLiteral("ab"));
    QTest::keyClick(s.edit, Qt::Key_Left);
    QTest::keyClick(s.edit, Qt::Key_Return);
    QCOMPARE(s.edit->text(), QStringLiteral("ab"));
    QCOMPARE(s.edit->cursorPosition(), 1);
    const QList<int> typed{Qt::Key_A, Qt::Key_B, Qt::Key_Left, Qt::Key_Return};
    QCOMPARE(s.counter.keys, typed);
    QVERIFY(s.actions.isEmpty());
    // Enabled function keys press their buttons (the shift state is not looked at), and
    // no control sees them.
    QTest::keyClick(s.edit, Qt::Key_F1);
    QTest::keyClick(s.edit, Qt::Key_F6, Qt::ShiftModifier);
    QTest::keyClick(s.edit, Qt::Key_F10, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(s.actions, (QList<int>{0, 5, 9}));
    QCOMPARE(s.busyDuringAction, (QList<int>{-1, -1, -1}));
    QCOMPARE(s.bar.p_iPfBusy, int16_t{0});
    QCOMPARE(s.counter.keys, typed);
    // The pressed button has the focus, as after a click.
    QCOMPARE(QApplication::focusWidget(), s.bar.button(9));
    // A disabled screen takes no keys, nor does it take those of another window.
    s.widget.setEnabled(false);
    QTest::keyClick(s.edit, Qt::Key_F6);
    s.widget.setEnabled(true);
    QWidget other;
    auto* edit = new QLineEdit(&other);
    other.show();
    QTest::keyClick(edit, Qt::Key_F6);
    QCOMPARE(s.actions, (QList<int>{0, 5, 9}));
}

void KeyBarTest::clickAndFunctionKeyBehaveAlike()
{
    ScriptedRuntime byKey;
    Screen a(byKey);
    QVERIFY(a.active);
    QTest::keyClick(a.edit, Qt::Key_F10);

    ScriptedRuntime byMouse;
    Screen b(byMouse);
    QVERIFY(b.active);
    QTest::mouseClick(b.bar.button(9), Qt::LeftButton);

    QCOMPARE(a.actions, b.actions);
    QCOMPARE(a.busyDuringAction, b.busyDuringAction);
    QCOMPARE(byKey.doEventsCount, byMouse.doEventsCount);
    QCOMPARE(byKey.doEventsCount, 1);
    QCOMPARE(a.widget.focusWidget(), a.bar.button(9));
    QCOMPARE(b.widget.focusWidget(), b.bar.button(9));

    // A click on a disabled button is nothing, as its key is.
    QTest::mouseClick(b.bar.button(1), Qt::LeftButton);
    QCOMPARE(b.actions, (QList<int>{9}));
}

void KeyBarTest::pressThroughTheEventPumpIsDropped()
{
    ScriptedRuntime rt;
    Screen s(rt);
    QVERIFY(s.active);
    int injected = 0;
    // A long action lets events run, as the wait screen does; the user presses F6 and
    // clicks F10 meanwhile.
    s.inAction = [&](int) { rt.doEvents(); };
    rt.onDoEvents = [&] {
        if (s.bar.p_iPfBusy != -1 || injected++ > 0) return;
        QTest::keyClick(s.edit, Qt::Key_F6);
        QTest::mouseClick(s.bar.button(9), Qt::LeftButton);
    };
    QTest::keyClick(s.edit, Qt::Key_F6);
    QCOMPARE(s.actions, (QList<int>{5}));
    QCOMPARE(s.bar.p_iPfBusy, int16_t{0});

    // Dropped, not queued: nothing runs later either.
    QCoreApplication::processEvents();
    QCOMPARE(s.actions, (QList<int>{5}));
    // And the bar takes the next press.
    QTest::keyClick(s.edit, Qt::Key_F1);
    QCOMPARE(s.actions, (QList<int>{5, 0}));
}

void KeyBarTest::runtimeErrorInAnActionEndsTheProgramAndLeavesTheBarIdle()
{
    ScriptedRuntime rt;
    Screen s(rt);
    QVERIFY(s.active);
    // Pressed directly: the scripted end is an exception, and that must not pass
    // through Qt's event delivery (the real end never returns at all).
    // Any other exception is a fault as well: it must not cross the event loop.
    const std::function<void(int)> faults[] = {[](int) { kov::throwOverflow("test"); },
                                               [](int) { throw std::out_of_range("index"); }};
    for (int i : {0, 1}) {
        s.inAction = faults[i];
        int status = -1;
        try {
            s.bar.press(i ? 0 : 5);
        } catch (const kov::ProgramEnded& e) {
            status = e.exitStatus;
        }
        QCOMPARE(status, kov::kExitFatal);
        QCOMPARE(s.bar.p_iPfBusy, int16_t{0});
        QCOMPARE(rt.messages.size(), std::size_t(i + 1));
    }
    QCOMPARE(rt.messages[0].icon, kov::MsgIcon::Stop);
    QCOMPARE(QString::fromStdString(rt.messages[0].title), s.widget.windowTitle());
    QVERIFY(rt.messages[1].text.starts_with("実行時エラーが発生しました。"));
}

void KeyBarTest::busyCheckFirstTestsBusyFirstAndDoesNotPumpEvents()
{
    ScriptedRuntime rt;
    Screen s(rt, kov::ui::PfPressStyle::BusyCheckFirst);
    QVERIFY(s.active);
    s.bar.setEnabled(11, true);
    s.inAction = [&](int) {
        // A press while the export runs is dropped before it takes the focus.
        s.edit->setFocus();
        QTest::keyClick(s.edit, Qt::Key_F10);
        QCOMPARE(QApplication::focusWidget(), s.edit);
    };
    QTest::keyClick(s.edit, Qt::Key_F12);
    QCOMPARE(s.actions, (QList<int>{11}));
    QCOMPARE(s.busyDuringAction, (QList<int>{1}));
    QCOMPARE(s.bar.p_iPfBusy, int16_t{0});
    QCOMPARE(rt.doEventsCount, 0);
}

QTEST_MAIN(KeyBarTest)
#include "tst_keybar.moc"

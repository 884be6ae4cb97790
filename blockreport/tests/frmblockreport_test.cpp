// The block report window over a real fixture: layout in twips, font and colours, tab
// order and first focus, and the keyboard on the block list.
#include "blockreport/blockreportrun.h"
#include "blockreport/blockreportscreen.h"
#include "blockreport/tests/windowcheck.h"
#include "common/ui/fonts.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>

namespace kov::blockreport {
namespace {

using test::designRect;
using test::testScreen;

const auto* const kQtApplication = ::testing::AddGlobalTestEnvironment(
    new test::QtApplicationEnvironment<QApplication>("frmblockreport_test", [] { kov::ui::installJapaneseFonts(); }));

struct Window {
    db::Fixture fx;
    ScriptedRuntime rt;
    PrintContext ctx{rt, "frmblockreport_test", {}};
    BlockReportScreen screen;
    FrmBlockReport form;

    explicit Window(ScreenDescription d, int kyusyu) : screen(ctx, std::move(d)), form(screen, rt)
    {
        setenv("KOV_WORK_DIR", fx.path("work").c_str(), 1);
        rt.setAppPath(fx.dir());
        fx.setStandardNames();
        fx.setKanri(202306);
        fx.addSchool("E101", "城東小学校");
        for (int slot = 1; slot <= 4; ++slot) fx.setBlock(slot, 101, 101, 1, kyusyu);
        fx.addPayment({.syokcd = 1, .skyuym = 202306, .kyusyu = kyusyu, .syrflg = 1});
        form.load();
        form.showScreen();
        screen.prsOpenSet();
        QApplication::processEvents();
    }
    std::vector<bool> selection() const
    {
        std::vector<bool> s;
        for (const auto& e : screen.lstMain()) s.push_back(e.selected);
        return s;
    }
};

TEST(FrmBlockReport, LayoutFontAndColours)
{
    Window w(testScreen(), 2);
    FrmBlockReport& f = w.form;
    EXPECT_EQ(f.windowTitle().toStdString(), "ブロック帳票印刷");
    EXPECT_EQ(f.size(), designRect(0, 0, 11610, 7875).size());
    EXPECT_EQ(f.lblShori()->geometry(), designRect(0, 0, 1500, 300));
    EXPECT_EQ(f.lblShori()->text(), "令和 5年 6月分");
    EXPECT_EQ(f.fraKyuKbn()->geometry(), designRect(4020, 1440, 3585, 690));
    EXPECT_EQ(f.fraKyuKbn()->title(), "給与区分");
    EXPECT_EQ(f.optGetugaku()->geometry(), designRect(360, 255, 1200, 315));
    EXPECT_EQ(f.optNichigaku()->geometry(), designRect(1800, 255, 1200, 315));
    EXPECT_EQ(f.label5()->geometry(), designRect(4020, 2400, 3585, 300));
    EXPECT_EQ(f.label5()->text(), "ブロック選択");
    EXPECT_EQ(f.lstMain()->geometry(), designRect(4020, 2640, 3585, 3480));
    EXPECT_EQ(f.lstMain()->selectionMode(), QAbstractItemView::MultiSelection);
    EXPECT_TRUE(f.optGetugaku()->isChecked());
    // The buttons at the screen's lefts.
    const int lefts[] = {300, 1200, 2100, 3000, 4000, 4900, 5800, 6700, 7700, 8600, 9500, 10400};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(f.pfKeys()->button(i)->geometry(), designRect(lefts[i], 7500, 855, 315));
    for (QLabel* l : {f.lblShori(), f.label5()}) {
        EXPECT_EQ(l->palette().color(QPalette::Window), QColor(0, 0, 192));
        EXPECT_EQ(l->palette().color(QPalette::WindowText), QColor(Qt::white));
    }
    EXPECT_EQ(f.lstMain()->font().family(), kov::ui::screenFontFamily());
    EXPECT_EQ(f.lstMain()->font().pointSize(), 9);
    // Key mode 0 on the buttons.
    EXPECT_EQ(f.pfKeys()->button(0)->text(), "切　替");
    EXPECT_TRUE(f.pfKeys()->button(5)->isEnabled());
    EXPECT_FALSE(f.pfKeys()->button(1)->isEnabled());
    EXPECT_EQ(f.pfKeys()->button(1)->text(), "");
}

TEST(FrmBlockReport, TabOrderAndFirstFocus)
{
    {
        Window w(testScreen(), 2);
        const FrmBlockReport& f = w.form;
        test::expectTabStops(
            f, {{0, f.optGetugaku()}, {1, f.optNichigaku()}, {2, f.lstMain()}, {3, f.pfKeys()->button(0)}});
        EXPECT_EQ(f.optGetugaku()->focusPolicy() & Qt::TabFocus, Qt::TabFocus);
    }
    Window w(testScreen(false, true), 2);
    const FrmBlockReport& f = w.form;
    test::expectTabStops(
        f, {{0, f.lstMain()}, {12, f.pfKeys()->button(11)}, {13, f.optNichigaku()}, {14, f.optGetugaku()}});
}

// The option that has the focus when the screen opens shows the focus mark: it is drawn
// otherwise than when the focus is elsewhere.
TEST(FrmBlockReport, FirstFocusShowsItsMark)
{
    Window w(testScreen(), 2);
    QRadioButton* option = w.form.optGetugaku();
    ASSERT_EQ(QApplication::focusWidget(), option);
    const QImage focused = option->grab().toImage();
    w.form.lstMain()->setFocus(Qt::OtherFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), w.form.lstMain());
    EXPECT_NE(focused, option->grab().toImage());
}

// Space toggles the current entry alone; the arrow keys move without selecting; F1
// inverts and the window shows what the model holds.
TEST(FrmBlockReport, KeyboardOnTheBlockList)
{
    Window w(testScreen(false, true), 2);
    QListWidget* list = w.form.lstMain();
    ASSERT_EQ(list->count(), 4);
    list->setFocus();
    list->setCurrentRow(0, QItemSelectionModel::NoUpdate);
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_EQ(w.selection(), (std::vector<bool>{true, false, false, false}));
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_EQ(w.selection(), (std::vector<bool>{true, false, true, false}));
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_EQ(w.selection(), (std::vector<bool>{true, false, false, false}));

    QTest::keyClick(list, Qt::Key_F1);
    EXPECT_EQ(w.selection(), (std::vector<bool>{false, true, true, true}));
    for (int i = 0; i < list->count(); ++i) EXPECT_EQ(list->item(i)->isSelected(), w.selection()[i]) << i;
    EXPECT_EQ(list->currentRow(), 0);
    EXPECT_TRUE(list->isVisible());
    EXPECT_EQ(list->item(2)->data(Qt::UserRole).toInt(), 3);

    // A disabled key does nothing.
    QTest::keyClick(list, Qt::Key_F2);
    EXPECT_EQ(w.selection(), (std::vector<bool>{false, true, true, true}));
    EXPECT_TRUE(w.rt.messages.empty());

    // The staff-group option reaches the model.
    w.form.optNichigaku()->click();
    EXPECT_FALSE(w.screen.optGetugaku());
}

// Every arrow key on an option moves the choice and the focus to the other option of
// the group (Up and Left to the previous, Down and Right to the next, round), on both
// screens' tab orders; the model follows.
TEST(FrmBlockReport, ArrowKeysMoveTheChoiceWithinTheOptions)
{
    for (const bool optionsFirst : {true, false}) {
        Window w(optionsFirst ? testScreen() : testScreen(false, true), 2);
        QRadioButton* getugaku = w.form.optGetugaku();
        QRadioButton* nichigaku = w.form.optNichigaku();
        getugaku->setFocus();
        QApplication::processEvents();
        for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Up, Qt::Key_Right, Qt::Key_Left, Qt::Key_Up, Qt::Key_Down}) {
            const bool wasGetugaku = getugaku->isChecked();
            QTest::keyClick(QApplication::focusWidget(), key);
            QRadioButton* chosen = wasGetugaku ? nichigaku : getugaku;
            EXPECT_TRUE(chosen->isChecked()) << optionsFirst << " key " << key;
            EXPECT_EQ(QApplication::focusWidget(), chosen) << optionsFirst << " key " << key;
            EXPECT_EQ(w.screen.optGetugaku(), chosen == getugaku) << optionsFirst << " key " << key;
        }
    }
}

TEST(FrmBlockReport, PrintWithoutSelectionWarnsAndFocusesTheList)
{
    Window w(testScreen(), 2);
    w.form.optGetugaku()->setFocus();
    QTest::keyClick(w.form.optGetugaku(), Qt::Key_F6);
    ASSERT_EQ(w.rt.messages.size(), 1u);
    EXPECT_EQ(w.rt.messages[0].text, "ブロックが選択されていません。");
    EXPECT_TRUE(w.form.lstMain()->hasFocus() || QApplication::focusWidget() == w.form.lstMain());
}

} // namespace
} // namespace kov::blockreport

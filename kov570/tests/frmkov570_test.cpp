// The kov570 window over a real fixture: controls at their twips, the white-on-blue
// labels, the tab order and first focus, space on a box, a label click and F6 with
// nothing ticked.
#include "blockreport/tests/qtapplicationenv.h"
#include "common/ui/fonts.h"
#include "common/ui/pfkeybar.h"
#include "kov570/tests/kov570env.h"
#include "kov570/ui/frmkov570.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

#include <gtest/gtest.h>

namespace kov::kov570::test {
namespace {

using blockreport::test::designRect;

const auto* const kQtApplication = ::testing::AddGlobalTestEnvironment(
    new blockreport::test::QtApplicationEnvironment<QApplication>("frmkov570_test", [] { ui::installJapaneseFonts(); }));

struct Window : Kov570Env {
    FrmKov570 form{screen, rt};
    Window()
    {
        fx.setKanri(202306, 2023);
        fx.addSumi({});
        form.load();
        form.showScreen();
        screen.gnsStart();
        QApplication::processEvents();
    }
};

TEST(FrmKov570, LayoutTabOrderAndKeys)
{
    Window w;
    FrmKov570& f = w.form;
    EXPECT_EQ(f.windowTitle().toStdString(), "給与費支出額集計表印刷");
    EXPECT_EQ(f.size(), designRect(0, 0, 11610, 7875).size());
    EXPECT_EQ(f.chkZaimu(1)->parentWidget()->geometry(), designRect(2760, 1080, 2895, 4995));
    EXPECT_EQ(f.chkGakkou(1)->parentWidget()->geometry(), designRect(5940, 1080, 3015, 2055));
    EXPECT_EQ(f.lblZaimu(8)->geometry(), designRect(1020, 4440, 1500, 300));
    EXPECT_EQ(f.chkZaimu(0)->geometry(), designRect(540, 3840, 255, 495));
    EXPECT_EQ(f.chkZaimu(1)->geometry(), designRect(533, 495, 255, 495));
    EXPECT_EQ(f.lblGakkou(3)->geometry(), designRect(1020, 1500, 1200, 300));
    EXPECT_EQ(f.chkGakkou(2)->pos(), designRect(560, 985, 195, 315).topLeft());
    EXPECT_EQ(f.pfKeys()->button(8)->geometry(), designRect(7890, 7500, 855, 315));
    EXPECT_EQ(f.lblZaimu(0)->text().toStdString() + f.lblZaimu(8)->text().toStdString(), "本　庁全　体");
    EXPECT_EQ(f.lblGakkou(2)->palette().color(QPalette::Window), QColor(0, 0, 192));
    EXPECT_EQ(f.lblZaimu(1)->palette().color(QPalette::WindowText), QColor(Qt::white));
    EXPECT_FALSE(f.pfKeys()->button(0)->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), f.pfKeys()->button(5));
    const QList<QWidget*> chain = f.tabChain();
    ASSERT_EQ(chain.size(), 14);
    EXPECT_EQ(chain[4], f.chkGakkou(3));
    EXPECT_EQ(chain[13], f.chkZaimu(0));
    for (int i = 1; i < chain.size(); ++i) EXPECT_EQ(chain[i - 1]->nextInFocusChain(), chain[i]) << i;

    // Space ticks and unticks a box; a label click ticks its box and focuses it; F6
    // without a school warns and moves to the first school box.
    QTest::keyClick(f.chkGakkou(2), Qt::Key_Space);
    EXPECT_EQ(w.screen.chkGakkou(2), CheckValue::Ticked);
    QTest::keyClick(f.chkGakkou(2), Qt::Key_Space);
    EXPECT_EQ(w.screen.chkGakkou(2), CheckValue::Unticked);
    QTest::mouseClick(f.lblZaimu(4), Qt::LeftButton);
    EXPECT_TRUE(f.chkZaimu(4)->isChecked());
    EXPECT_EQ(QApplication::focusWidget(), f.chkZaimu(4));
    QTest::keyClick(f.chkZaimu(4), Qt::Key_F6);
    ASSERT_EQ(w.rt.messages.size(), 1u);
    EXPECT_EQ(w.rt.messages[0].text, "学校が選択されていません。");
    EXPECT_EQ(QApplication::focusWidget(), f.chkGakkou(1));
}

// Every check box shows its whole box at its design place, at 1x and (run again under
// QT_SCALE_FACTOR=2) at 2x: the style's indicator lies inside the control.
TEST(FrmKov570Boxes, WholeIndicatorShows)
{
    Window w;
    for (int i = 0; i <= 11; ++i) {
        QCheckBox* box = i <= 8 ? w.form.chkZaimu(i) : w.form.chkGakkou(i - 8);
        QStyleOptionButton opt;
        opt.initFrom(box);
        const QRect indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &opt, box);
        EXPECT_TRUE(box->rect().contains(indicator))
            << box->objectName().toStdString() << ": indicator " << indicator.width() << "x" << indicator.height()
            << " in " << box->width() << "x" << box->height();
    }
}

} // namespace
} // namespace kov::kov570::test

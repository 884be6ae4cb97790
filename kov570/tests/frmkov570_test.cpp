// The kov570 window over a real fixture: its layout (every control's place, text and
// colours) against the golden dump tests/data/frmkov570_layout.txt, the tab order and
// first focus, space on a box, a label click and F6 with nothing ticked.
#include "blockreport/tests/qtapplicationenv.h"
#include "common/ui/fonts.h"
#include "common/ui/pfkeybar.h"
#include "kov570/tests/kov570env.h"
#include "kov570/ui/frmkov570.h"
#include "tests/support/golden.h"
#include "tests/support/widgetdump.h"

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

const auto* const kQtApplication =
    ::testing::AddGlobalTestEnvironment(new blockreport::test::QtApplicationEnvironment<QApplication>(
        "frmkov570_test", [] { ui::installJapaneseFonts(); }));

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
    kov::test::expectGoldenBytes(kov::test::layoutDump(f), "frmkov570_layout.txt");
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

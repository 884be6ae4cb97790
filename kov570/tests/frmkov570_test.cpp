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

TEST(FrmKov570, LayoutColoursAndTabOrder)
{
    Window w;
    FrmKov570& f = w.form;
    EXPECT_EQ(f.windowTitle().toStdString(), "給与費支出額集計表印刷");
    EXPECT_EQ(f.size(), designRect(0, 0, 11610, 7875).size());
    const QPoint frame1 = designRect(2760, 1080, 0, 0).topLeft(), frame2 = designRect(5940, 1080, 0, 0).topLeft();
    EXPECT_EQ(f.lblZaimu(8)->geometry(), designRect(1020, 4440, 1500, 300));
    EXPECT_EQ(f.chkZaimu(0)->geometry(), designRect(540, 3840, 255, 495));
    EXPECT_EQ(f.chkZaimu(1)->geometry(), designRect(533, 495, 255, 495));
    EXPECT_EQ(f.lblGakkou(3)->geometry(), designRect(1020, 1500, 1200, 300));
    EXPECT_EQ(f.chkGakkou(2)->geometry(), designRect(560, 985, 195, 315));
    EXPECT_EQ(f.chkZaimu(1)->parentWidget()->pos(), frame1);
    EXPECT_EQ(f.chkGakkou(1)->parentWidget()->pos(), frame2);
    EXPECT_EQ(f.pfKeys()->button(8)->geometry(), designRect(7890, 7500, 855, 315));
    EXPECT_EQ(f.lblZaimu(0)->text(), "本　庁");
    EXPECT_EQ(f.lblZaimu(8)->text(), "全　体");
    for (QLabel* l : {f.lblZaimu(1), f.lblGakkou(2)}) {
        EXPECT_EQ(l->palette().color(QPalette::Window), QColor(0, 0, 192));
        EXPECT_EQ(l->palette().color(QPalette::WindowText), QColor(Qt::white));
    }
    EXPECT_EQ(f.pfKeys()->button(5)->text(), "印　刷");
    EXPECT_FALSE(f.pfKeys()->button(0)->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), f.pfKeys()->button(5));
    const QList<QWidget*> chain = f.tabChain();
    ASSERT_EQ(chain.size(), 14);
    for (int i = 1; i < chain.size(); ++i) EXPECT_EQ(chain[i - 1]->nextInFocusChain(), chain[i]) << i;
    EXPECT_EQ(chain[4], f.chkGakkou(3));
    EXPECT_EQ(chain[13], f.chkZaimu(0));
}

TEST(FrmKov570, SpaceLabelClickAndWarning)
{
    Window w;
    FrmKov570& f = w.form;
    f.chkGakkou(2)->setFocus();
    QTest::keyClick(f.chkGakkou(2), Qt::Key_Space);
    EXPECT_EQ(w.screen.chkGakkou[2], 1);
    QTest::keyClick(f.chkGakkou(2), Qt::Key_Space);
    EXPECT_EQ(w.screen.chkGakkou[2], 0);
    QTest::mouseClick(f.lblZaimu(4), Qt::LeftButton);
    EXPECT_TRUE(f.chkZaimu(4)->isChecked());
    EXPECT_EQ(QApplication::focusWidget(), f.chkZaimu(4));
    QTest::keyClick(f.chkZaimu(4), Qt::Key_F6);
    ASSERT_EQ(w.rt.messages.size(), 1u);
    EXPECT_EQ(w.rt.messages[0].text, "学校が選択されていません。");
    EXPECT_EQ(QApplication::focusWidget(), f.chkGakkou(1));
}

} // namespace
} // namespace kov::kov570::test

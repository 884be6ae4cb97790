// kov140's window frmKov140 over a real SQLite fixture: caption, the positions that
// differ from kov120, the tab order with the block list first, and the block list and
// keys as the user sees them.
// moc only needs the test class; the program's headers stay out of its parser.
#ifndef Q_MOC_RUN
#include "blockreport/ui/frmblockreport.h"
#include "common/scriptedruntime.h"
#include "common/ui/fonts.h"
#include "common/ui/pfkeybar.h"
#include "common/ui/twips.h"
#include "db/fixture.h"
#include "kov140/kov140run.h"
#endif

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <memory>

namespace {

struct Window {
    kov::db::Fixture fx;
    kov::ScriptedRuntime rt;
    std::unique_ptr<kov::blockreport::BlockReportScreen> screen;
    std::unique_ptr<kov::blockreport::FrmBlockReport> frm;

    Window()
    {
        rt.setAppPath(fx.dir());
        fx.setStandardNames();
        fx.setKanri(202307);
        fx.addSchool("E101", "城東小学校");
        fx.addSchool("E102", "城西小学校");
        fx.setBlock(1, 101, 101, 1, 2);
        fx.setBlock(3, 101, 101, 1, 3);
        fx.setBlock(5, 102, 102, 1, 3);
        fx.addStaff({.syokcd = 1, .values = {}});
        fx.addPayment({.syokcd = 1, .skyuym = 202307, .kyusyu = 3, .syrflg = 3});
        screen = std::make_unique<kov::blockreport::BlockReportScreen>(rt, kov::blockreport::kov140Screen());
        screen->setPrintRun(std::make_unique<kov::kov140::Kov140Run>(*screen, nullptr));
        frm = std::make_unique<kov::blockreport::FrmBlockReport>(*screen, rt);
        frm->load();
        frm->showScreen();
        screen->prsOpenSet();
    }
};

} // namespace

class Kov140WindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { kov::ui::installJapaneseFonts(); }
    void layoutOfKov140();
    void blockListHasTheFocusAndShowsPayKindThree();
    void switchKeyInvertsTheSelection();
};

void Kov140WindowTest::layoutOfKov140()
{
    Window w;
    QCOMPARE(w.frm->windowTitle(), QStringLiteral("差額支給内訳明細書印刷"));
    QCOMPARE(w.frm->lblShori()->geometry(), kov::ui::twipsRect(0, 0, 1605, 300));
    QCOMPARE(w.frm->lblShori()->text(), QStringLiteral("令和 5年 7月分"));
    const int lefts[] = {375, 1230, 2085, 2940, 4095, 4950, 5805, 6660, 7800, 8655, 9510, 10365};
    for (int i = 0; i < 12; ++i)
        QCOMPARE(w.frm->pfKeys()->button(i)->geometry(), kov::ui::twipsRect(lefts[i], 7500, 855, 315));
    // Tab order: the list, the twelve buttons, then the options (日額者 before 月額者).
    const QList<QWidget*> chain = w.frm->tabChain();
    QCOMPARE(chain.size(), 15);
    QCOMPARE(chain.first(), static_cast<QWidget*>(w.frm->lstMain()));
    for (int i = 0; i < 12; ++i) QCOMPARE(chain[1 + i], static_cast<QWidget*>(w.frm->pfKeys()->button(i)));
    QCOMPARE(chain[13], static_cast<QWidget*>(w.frm->optNichigaku()));
    QCOMPARE(chain[14], static_cast<QWidget*>(w.frm->optGetugaku()));
    QCOMPARE(w.frm->pfKeys()->button(5)->text(), QStringLiteral("印　刷"));
}

void Kov140WindowTest::blockListHasTheFocusAndShowsPayKindThree()
{
    Window w;
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.frm->lstMain()));
    QCOMPARE(w.frm->optGetugaku()->isChecked(), true);
    QListWidget* list = w.frm->lstMain();
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(0)->text(), QStringLiteral("  03  城東小学校"));
    QCOMPARE(list->item(1)->text(), QStringLiteral("  05  城西小学校"));
    QCOMPARE(list->item(1)->data(Qt::UserRole).toInt(), 5);
}

void Kov140WindowTest::switchKeyInvertsTheSelection()
{
    Window w;
    QListWidget* list = w.frm->lstMain();
    list->item(1)->setSelected(true);
    QCOMPARE(w.screen->blockList(), std::string("05"));
    QTest::keyClick(w.frm.get(), Qt::Key_F1);
    QTRY_COMPARE(w.screen->blockList(), std::string("03"));
    QVERIFY(list->item(0)->isSelected());
    QVERIFY(!list->item(1)->isSelected());
    // The print key without a selection warns, captioned with the screen's caption.
    list->item(0)->setSelected(false);
    QCOMPARE(w.screen->blockList(), std::string());
    QTest::keyClick(w.frm.get(), Qt::Key_F6);
    QTRY_COMPARE(w.rt.messages.size(), std::size_t{1});
    QCOMPARE(w.rt.messages[0].text, std::string("ブロックが選択されていません。"));
    QCOMPARE(w.rt.messages[0].title, std::string("差額支給内訳明細書印刷"));
}

QTEST_MAIN(Kov140WindowTest)
#include "tst_kov140_window.moc"

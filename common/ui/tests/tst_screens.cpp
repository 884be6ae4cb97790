// The wait screen, the screens' font, centring, and the Qt runtime services.
#include "common/runtimeerror.h"
#include "common/tests/scriptedruntime.h"
#include "common/ui/fonts.h"
#include "common/ui/frmomachi.h"
#include "common/ui/qtruntime.h"
#include "common/ui/twips.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

using kov::ScriptedRuntime;
using kov::ui::FrmOMACHI;

namespace {
QList<FrmOMACHI*> waitScreens()
{
    QList<FrmOMACHI*> found;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* f = qobject_cast<FrmOMACHI*>(w)) found << f;
    return found;
}
} // namespace

class ScreensTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { kov::ui::installJapaneseFonts(); }
    void screenFontIsAJapaneseMonospacedGothic();
    void waitScreenProtocol();
    void centringPutsALowWindowAtTheTop();
    void messageBoxesShowIconButtonsAndTitle();
    void appPathIsTheProgramsFolder();
};

void ScreensTest::screenFontIsAJapaneseMonospacedGothic()
{
    const QFont f = kov::ui::screenFont();
    QCOMPARE(f.family(), QStringLiteral("ＭＳ ゴシック"));
    QCOMPARE(f.pointSize(), 9);
    const QFontInfo info(f);
    QVERIFY2(info.family().contains(QStringLiteral("Gothic")), qPrintable(info.family()));
    QVERIFY2(!info.family().contains(QStringLiteral("DejaVu")), qPrintable(info.family()));
    // Monospaced the Japanese way (fontconfig calls it dual width): every half-width
    // character has one width and every full-width character twice that.
    const QFontMetrics fm(f);
    QCOMPARE(fm.horizontalAdvance(QStringLiteral("i")), fm.horizontalAdvance(QStringLiteral("M")));
    for (QChar c : QStringLiteral("ただいま処理中です。切　替ＭＳ")) QVERIFY2(fm.inFont(c), qPrintable(QString(c)));
    // A full-width character is two half-width ones wide, as on the designed screens.
    QCOMPARE(fm.horizontalAdvance(QStringLiteral("処")), 2 * fm.horizontalAdvance(QStringLiteral("a")));
    // The Latin name of the same font comes out the same.
    QCOMPARE(QFontInfo(QFont(QStringLiteral("MS Gothic"), 9)).family(), info.family());
}

void ScreensTest::waitScreenProtocol()
{
    ScriptedRuntime rt;
    QWidget caller;
    caller.setWindowTitle(QStringLiteral("差額支給内訳明細書印刷"));
    caller.show();
    bool ran = false;
    kov::ui::runWithWaitScreen(&caller, rt, [&] {
        ran = true;
        QCOMPARE(rt.doEventsCount, 1);
        QVERIFY(!caller.isEnabled());
        const auto found = waitScreens();
        QCOMPARE(found.size(), 1);
        FrmOMACHI* wait = found.first();
        QVERIFY(wait->isVisible());
        QVERIFY(!wait->isModal());
        QVERIFY(wait->isEnabled());
        QCOMPARE(wait->windowTitle(), caller.windowTitle());
        QCOMPARE(wait->label1()->text(), QStringLiteral("ただいま処理中です。"));
        QCOMPARE(wait->label2()->text(), QStringLiteral("しばらくお待ち下さい。"));
        QCOMPARE(wait->size(), kov::ui::twipsRect(0, 0, 4680, 1710).size());
        QCOMPARE(wait->label2()->geometry(), kov::ui::twipsRect(0, 990, 4635, 255));
        // The user cannot send it away.
        QTest::keyClick(wait, Qt::Key_Escape);
        QVERIFY(!wait->close());
        QVERIFY(wait->isVisible());
        // The pages written so far show once the run has taken two seconds.
        rt.reportProgress(kov::ProgressPhase::PagesWritten, 3);
        QCOMPARE(wait->progressLabel()->text(), QString());
        QTest::qSleep(2100);
        rt.reportProgress(kov::ProgressPhase::PagesDrawn, 12);
        QCOMPARE(wait->progressLabel()->text(), QStringLiteral("これまでに 12 ページを作成しました。"));
    });
    QVERIFY(ran);
    rt.reportProgress(kov::ProgressPhase::PagesDrawn, 13); // no wait screen listens any more
    QVERIFY(caller.isEnabled());
    QVERIFY(waitScreens().isEmpty());
    QCOMPARE(rt.doEventsCount, 2);
    // Work that fails: its error passes on, and the wait screen goes away all the same.
    QVERIFY_THROWS_EXCEPTION(kov::RuntimeError,
                             kov::ui::runWithWaitScreen(&caller, rt, [] { kov::throwFileError("OVL.TMP"); }));
    QVERIFY(caller.isEnabled());
    QVERIFY(waitScreens().isEmpty());
}

void ScreensTest::centringPutsALowWindowAtTheTop()
{
    using kov::ui::centredTopLeftTwips;
    QCOMPARE(centredTopLeftTwips(15360, 11520, 11610, 7875), QPoint(1875, 1822));
    // 481 twips is still centred; 480 and less go to the top, the left stays centred.
    QCOMPARE(centredTopLeftTwips(15360, 8837, 11610, 7875), QPoint(1875, 481));
    QCOMPARE(centredTopLeftTwips(15360, 8835, 11610, 7875), QPoint(1875, 0));
    QCOMPARE(centredTopLeftTwips(12000, 7000, 11610, 7875), QPoint(195, 0));

    QWidget w;
    w.setFixedSize(kov::ui::twipsToPx(3000), kov::ui::twipsToPx(2000));
    kov::ui::centreScreen(&w);
    const QRect area = w.screen()->availableGeometry();
    QVERIFY(qAbs(w.x() - (area.x() + (area.width() - w.width()) / 2)) <= 1);
    QVERIFY(qAbs(w.y() - (area.y() + (area.height() - w.height()) / 2)) <= 1);
}

void ScreensTest::messageBoxesShowIconButtonsAndTitle()
{
    kov::ui::QtRuntime rt("1");
    QCOMPARE(rt.commandLine(), std::string("1"));
    struct Seen {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString title, text;
        QMessageBox::StandardButtons buttons;
    };
    auto answer = [](Seen* seen, QMessageBox::StandardButton press) {
        QTimer::singleShot(0, [seen, press] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            seen->icon = box->icon();
            seen->title = box->windowTitle();
            seen->text = box->text();
            seen->buttons = box->standardButtons();
            box->button(press)->click();
        });
    };
    Seen a;
    answer(&a, QMessageBox::No);
    QCOMPARE(rt.msgBox("上書きしますか？", kov::MsgIcon::Question, kov::MsgButtons::YesNo, "マスタ退避"),
             kov::MsgResult::No);
    QCOMPARE(a.icon, QMessageBox::Question);
    QCOMPARE(a.title, QStringLiteral("マスタ退避"));
    QCOMPARE(a.buttons, QMessageBox::Yes | QMessageBox::No);

    Seen b;
    answer(&b, QMessageBox::Ok);
    QCOMPARE(rt.msgBox("一行目\r\n二行目", kov::MsgIcon::Stop, kov::MsgButtons::Ok, ""), kov::MsgResult::Ok);
    QCOMPARE(b.icon, QMessageBox::Critical);
    QCOMPARE(b.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(b.text, QStringLiteral("一行目\n二行目"));
    // An empty title shows nothing: no visible character, and not the program's name.
    QVERIFY(!b.title.contains(QCoreApplication::applicationName()));
    QVERIFY(b.title.trimmed().remove(QChar(0x200B)).isEmpty());
}

void ScreensTest::appPathIsTheProgramsFolder()
{
    kov::ui::QtRuntime rt("");
    QCOMPARE(QFileInfo(QString::fromStdString(rt.appPath())).canonicalFilePath(),
             QFileInfo(QStringLiteral(KOV_BIN_DIR)).canonicalFilePath());
    QVERIFY(!QString::fromStdString(rt.appPath()).endsWith(u'/'));
}

QTEST_MAIN(ScreensTest)
#include "tst_screens.moc"

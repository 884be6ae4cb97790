// The menu starts real processes with their argument and the settings folder, and says
// so when a program is missing.
#include "common/tests/scriptedruntime.h"
#include "tools/menu/menuwindow.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QtTest>

class MenuTest : public QObject {
    Q_OBJECT
private slots:
    void startsTheProgramWithItsArgumentAndSettingsFolder();
    void missingProgramIsToldInJapanese();
    void entriesShowTheJobNameAndTheArgumentInColumns();
};

void MenuTest::startsTheProgramWithItsArgumentAndSettingsFolder()
{
    QTemporaryDir programs, settings;
    const QString out = programs.filePath(QStringLiteral("seen.txt"));
    QFile script(programs.filePath(QStringLiteral("kov120")));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\nprintf '%s|%s|%s|%s' \"$#\" \"$1\" \"$KOV_INI_DIR\" \"$PWD\" > '%1.tmp'\n"
                                "mv '%1.tmp' '%1'\n")
                     .arg(out)
                     .toUtf8());
    script.close();
    script.setPermissions(script.permissions() | QFile::ExeOwner);

    kov::ScriptedRuntime rt;
    kov::menu::MenuWindow menu(rt, programs.path(), settings.path());
    QCOMPARE(menu.list()->topLevelItemCount(), 6);
    // The third entry: kov120 with "25".
    QVERIFY(menu.launch(2));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out), 10000);
    QFile seen(out);
    QVERIFY(seen.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(seen.readAll()),
             QStringLiteral("1|25|%1|%2").arg(settings.path(), QDir(programs.path()).canonicalPath()));
    QVERIFY(rt.messages.empty());
}

void MenuTest::missingProgramIsToldInJapanese()
{
    QTemporaryDir programs;
    QFile notRunnable(programs.filePath(QStringLiteral("kov970")));
    QVERIFY(notRunnable.open(QIODevice::WriteOnly));
    notRunnable.close();
    kov::ScriptedRuntime rt;
    kov::menu::MenuWindow menu(rt, programs.path(), programs.path());
    QVERIFY(!menu.launch(4));
    QVERIFY(!menu.launch(5));
    QCOMPARE(rt.messages.size(), std::size_t{2});
    QVERIFY(QString::fromStdString(rt.messages[0].text).startsWith(QStringLiteral("プログラム「kov570」が見つかりません。")));
    QVERIFY(QString::fromStdString(rt.messages[1].text).startsWith(QStringLiteral("プログラム「kov970」が見つかりません。")));
    QCOMPARE(rt.messages[0].icon, kov::MsgIcon::Exclamation);
}

void MenuTest::entriesShowTheJobNameAndTheArgumentInColumns()
{
    kov::ScriptedRuntime rt;
    kov::menu::MenuWindow menu(rt, QStringLiteral("/nonexistent"), QStringLiteral("/nonexistent"));
    menu.show();
    QVERIFY(QTest::qWaitForWindowExposed(&menu));
    QTreeWidget* list = menu.list();
    const QStringList expected[] = {
        {QStringLiteral("期末勤勉手当支給調書印刷（支給区分 2）"), QStringLiteral("kov120"), QStringLiteral("2")},
        {QStringLiteral("期末勤勉手当支給調書印刷（支給区分 5）"), QStringLiteral("kov120"), QStringLiteral("5")},
        {QStringLiteral("期末勤勉手当支給調書印刷（支給区分 2・5）"), QStringLiteral("kov120"), QStringLiteral("25")},
        {QStringLiteral("差額支給内訳明細書印刷"), QStringLiteral("kov140"), QStringLiteral("1")},
        {QStringLiteral("給与費支出額集計表印刷"), QStringLiteral("kov570"), QStringLiteral("1")},
        {QStringLiteral("マスタ退避処理"), QStringLiteral("kov970"), QStringLiteral("1")},
    };
    QCOMPARE(list->topLevelItemCount(), 6);
    for (int row = 0; row < 6; ++row) {
        QTreeWidgetItem* item = list->topLevelItem(row);
        for (int c = 0; c < 3; ++c) {
            QCOMPARE(item->text(c), expected[row][c]);
            // Each column is wide enough for the whole text of each of its cells.
            QVERIFY2(list->columnWidth(c) >= list->fontMetrics().horizontalAdvance(item->text(c)),
                     qPrintable(item->text(c)));
        }
    }
    QCOMPARE(list->currentItem(), list->topLevelItem(0));
}

QTEST_MAIN(MenuTest)
#include "tst_menu.moc"

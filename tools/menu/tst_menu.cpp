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
    QVERIFY(QString::fromStdString(rt.messages[0].text)
                .startsWith(QStringLiteral("プログラム「kov570」が見つかりません。")));
    QVERIFY(QString::fromStdString(rt.messages[1].text)
                .startsWith(QStringLiteral("プログラム「kov970」が見つかりません。")));
    QCOMPARE(rt.messages[0].icon, kov::MsgIcon::Exclamation);
}

void MenuTest::entriesShowTheJobNameAndTheArgumentInColumns()
{
    kov::ScriptedRuntime rt;
    kov::menu::MenuWindow menu(rt, QStringLiteral("/nonexistent"), QStringLiteral("/nonexistent"));
    menu.show();
    QVERIFY(QTest::qWaitForWindowExposed(&menu));
    QTreeWidget* list = menu.list();
    const auto& entries = kov::menu::menuEntries();
    QCOMPARE(list->topLevelItemCount(), static_cast<int>(entries.size()));
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = list->topLevelItem(row);
        const auto& e = entries[static_cast<std::size_t>(row)];
        // The job by its name, the program and its argument each in a column of its own.
        const QString expected[] = {e.title, e.program, e.argument};
        QVERIFY(!e.title.startsWith(e.program));
        for (int c = 0; c < 3; ++c) {
            QCOMPARE(item->text(c), expected[c]);
            // Each column is wide enough for the whole text of each of its cells.
            QVERIFY2(list->columnWidth(c) >= list->fontMetrics().horizontalAdvance(item->text(c)),
                     qPrintable(item->text(c)));
        }
    }
    QCOMPARE(list->currentItem(), list->topLevelItem(0));
}

QTEST_MAIN(MenuTest)
#include "tst_menu.moc"

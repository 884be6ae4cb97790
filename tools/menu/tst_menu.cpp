// The menu starts real processes with their argument and the settings folder, and says
// so when a program is missing.
#include "common/tests/scriptedruntime.h"
#include "tools/menu/menuwindow.h"

#include <QListWidget>
#include <QtTest>

class MenuTest : public QObject {
    Q_OBJECT
private slots:
    void startsTheProgramWithItsArgumentAndSettingsFolder();
    void missingProgramIsToldInJapanese();
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
    QCOMPARE(menu.list()->count(), 6);
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

QTEST_MAIN(MenuTest)
#include "tst_menu.moc"

// The drive box of the backup screen: two sticks under one long folder must be told
// apart in the box, which keeps the design's width, and be shown whole in the open list
// and the tooltip, while the entries keep the whole paths.
#include "common/ui/twips.h"
#include "kov970/frmkov970.h"

#include <QAbstractItemView>
#include <QtTest>

class DriveBoxTest : public QObject {
    Q_OBJECT
private slots:
    void longMountPathsAreShortenedInTheMiddle();
};

void DriveBoxTest::longMountPathsAreShortenedInTheMiddle()
{
    QWidget screen;
    kov::kov970::DriveBox box(&screen);
    box.setGeometry(kov::ui::twipsRect(2640, 90, 1095, 300));
    const QStringList drives = {QStringLiteral(" /media/clerk/USB-A/"), QStringLiteral(" /media/clerk/USB-B/"),
                                QStringLiteral(" A:\\")};
    box.addItems(drives);
    box.setCurrentIndex(0);
    box.entriesChanged();
    screen.show();
    QVERIFY(QTest::qWaitForWindowExposed(&screen));

    QStringList shown;
    for (int i = 0; i < drives.size(); ++i) {
        box.setCurrentIndex(i);
        const QString text = box.shownText();
        shown << text;
        QCOMPARE(box.itemText(i), drives[i]);
        QCOMPARE(box.toolTip(), drives[i].trimmed());
        QVERIFY2(box.fontMetrics().horizontalAdvance(text) <= box.width(), qPrintable(text));
    }
    // The two sticks differ where they differ: at the end of the path.
    QVERIFY2(shown[0].contains(u'…') && shown[0].endsWith(QStringLiteral("A/")), qPrintable(shown[0]));
    QVERIFY2(shown[1].endsWith(QStringLiteral("B/")), qPrintable(shown[1]));
    QVERIFY(shown[0] != shown[1]);
    QVERIFY2(shown[0].startsWith(QStringLiteral(" /")), qPrintable(shown[0]));
    // A short one is shown as it is.
    QCOMPARE(shown[2], drives[2]);

    // The open list is wider than the box and holds every path whole.
    box.showPopup();
    QAbstractItemView* list = box.view();
    QVERIFY(list->width() > box.width());
    QVERIFY(list->width() >= box.fontMetrics().horizontalAdvance(drives[0]));
    box.hidePopup();
}

QTEST_MAIN(DriveBoxTest)
#include "tst_drivebox.moc"

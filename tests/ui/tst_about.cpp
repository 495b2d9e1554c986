#include "infoform.h"

#include <QTest>

class TestAbout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void versionText_data()
    {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("revision");
        QTest::addColumn<QString>("text");
        QTest::newRow("below revision 100: no letter") << 2 << 6 << 99 << " (V2.6)";
        QTest::newRow("revision 100: a") << 2 << 6 << 100 << " (V2.6a)";
        QTest::newRow("98.5 rounds to the even 98: b") << 1 << 10 << 250 << " (V1.10b)";
    }
    void versionText()
    {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, revision);
        QTEST(VersionText(major, minor, revision), "text");
    }

    void infoPlacement_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QSize>("window");
        QTest::addColumn<QPoint>("corner");
        QTest::newRow("640 x 480: the top-left corner") << QSize(640, 480) << QSize(300, 200) << QPoint(0, 0);
        QTest::newRow("a larger screen: centred") << QSize(1024, 768) << QSize(300, 200) << QPoint(362, 284);
    }
    void infoPlacement()
    {
        QFETCH(QSize, screen);
        QFETCH(QSize, window);
        QTEST(InfoPlacement(screen, window), "corner");
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"

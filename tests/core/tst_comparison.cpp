#include "core.h"
#include "fakehost.h"
#include "faultyfilesystem.h"
#include "testdir.h"

#include <QTest>

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

using namespace common;

namespace {

const QChar CR(13);

struct Fixture
{
    TestDir left;
    TestDir right;
    FakeHost host;
    FaultyFileSystem fs;
    Core core{host, fs};
    ComparisonList &list = core.list();

    void loadBoth()
    {
        NativePath l = left.path(), r = right.path();
        bool toLeft = true;
        core.LoadFolder(l, toLeft);
        toLeft = false;
        core.LoadFolder(r, toLeft);
        host.clearRecords();
    }
    QString markerOf(const NativePath &leftName) const
    {
        for (int i = 0; i < list.count(); ++i)
            if (list.row(i).leftName == leftName)
                return MarkerText(list.row(i).marker);
        return "(no row)";
    }
};

} // namespace

class TestComparison : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        tzset();
    }

    void binaryMarkers_data()
    {
        QTest::addColumn<QByteArray>("leftContent");
        QTest::addColumn<QByteArray>("rightContent");
        QTest::addColumn<QString>("marker");
        const QByteArray block(262144, 'k');
        const QByteArray blockAndOne(262145, 'k');
        QTest::newRow("shorter") << QByteArray(10, 'a') << QByteArray(11, 'a') << "<";
        QTest::newRow("longer") << QByteArray(11, 'a') << QByteArray(10, 'a') << ">";
        QTest::newRow("equal") << QByteArray("same") << QByteArray("same") << "=";
        QTest::newRow("empty") << QByteArray() << QByteArray() << "=";
        QTest::newRow("first byte") << QByteArray("xbc") << QByteArray("abc") << "<>";
        QTest::newRow("one block, last byte") << block << QByteArray(block).replace(262143, 1, "!") << "<>";
        QTest::newRow("one block equal") << block << block << "=";
        QTest::newRow("block and one, last byte") << blockAndOne << QByteArray(blockAndOne).replace(262144, 1, "!")
                                                  << "<>";
        QTest::newRow("block and one equal") << blockAndOne << blockAndOne << "=";
    }
    void binaryMarkers()
    {
        QFETCH(QByteArray, leftContent);
        QFETCH(QByteArray, rightContent);
        QFETCH(QString, marker);
        Fixture f;
        f.left.file("f", leftContent);
        f.right.file("f", rightContent, TestDir::DefaultTime + 3600); // the binary comparison ignores times
        f.loadBoth();
        f.list.setMarker(0, Marker::DeleteBoth); // a menu marker is overwritten by the verdict
        f.core.RunComparison(true);
        QCOMPARE(f.markerOf("f"), marker);
        QCOMPARE(f.fs.openFiles, 0);
        if (leftContent.size() != rightContent.size() || leftContent.isEmpty())
            QCOMPARE(f.fs.opens, 0); // sizes decide, or there is nothing to read
    }

    void ageMarkers_data()
    {
        QTest::addColumn<qint64>("rightOffset");
        QTest::addColumn<QString>("marker");
        QTest::newRow("right newer") << qint64(1) << "<--";
        QTest::newRow("right older") << qint64(-1) << "-->";
        QTest::newRow("same second") << qint64(0) << "=";
    }
    void ageMarkers()
    {
        QFETCH(qint64, rightOffset);
        QFETCH(QString, marker);
        Fixture f;
        f.left.file("f", "left");
        f.right.file("f", "other content", TestDir::DefaultTime + rightOffset);
        f.loadBoth();
        f.core.RunComparison(false);
        QCOMPARE(f.markerOf("f"), marker);
        QCOMPARE(f.fs.opens, 0); // the age comparison opens no file
    }

    void sameSecondIsTheSameAge()
    {
        Fixture f;
        f.left.file("f");
        f.right.file("f");
        const struct timespec times[2] = {{TestDir::DefaultTime, 999999999}, {TestDir::DefaultTime, 999999999}};
        QCOMPARE(::utimensat(AT_FDCWD, f.right.path("f").constData(), times, 0), 0);
        f.loadBoth();
        f.core.RunComparison(false);
        QCOMPARE(f.markerOf("f"), QString("="));
    }

    void onlyTheLeftFolderLoaded()
    {
        Fixture f;
        f.left.file("a");
        f.left.file("b");
        NativePath l = f.left.path();
        bool toLeft = true;
        f.core.LoadFolder(l, toLeft);
        f.core.RunComparison(false);
        QCOMPARE(f.markerOf("a"), QString("? -->"));
        QCOMPARE(f.markerOf("b"), QString("? -->"));
    }

    void ageUsesStampsOfTheLoad()
    {
        Fixture f;
        f.left.file("f");
        f.right.file("f");
        f.loadBoth();
        f.right.file("f", "changed", TestDir::DefaultTime + 100);
        f.core.RunComparison(false);
        QCOMPARE(f.markerOf("f"), QString("="));
    }

    void orphans()
    {
        Fixture f;
        f.left.file("left-only");
        f.right.file("right-only");
        f.loadBoth();
        f.core.RunComparison(true);
        QCOMPARE(f.markerOf("left-only"), QString("?"));
        QCOMPARE(f.markerOf(""), QString("?"));
        f.core.RunComparison(false);
        QCOMPARE(f.markerOf("left-only"), QString("? -->"));
        QCOMPARE(f.markerOf(""), QString("? <--"));
    }

    void reports_data()
    {
        QTest::addColumn<bool>("binary");
        QTest::addColumn<QString>("report");
        QTest::newRow("binary") << true
                                << "Ergebnis des Binärvergleichs von 6 Dateien:" + QString(CR) + CR +
                                       "2 Dateien sind verwaist." + CR +
                                       "1 Dateien haben eine unterschiedliche Länge." + CR +
                                       "1 Dateien sind zwar gleich groß, aber nicht identisch." + CR +
                                       "2 Dateien sind absolut identisch." + CR;
        QTest::newRow("age") << false
                             << "Ergebnis des Versionsvergleichs von 6 Dateien:" + QString(CR) + CR +
                                    "2 Dateien sind verwaist." + CR + "1 Dateien haben ein unterschiedliches Alter." +
                                    CR + "3 Dateien haben ein gleiches Alter." + CR;
    }
    void reports()
    {
        QFETCH(bool, binary);
        QFETCH(QString, report);
        Fixture f;
        f.left.file("same1", "abc");
        f.right.file("same1", "abc");
        f.left.file("same2", "");
        f.right.file("same2", "");
        f.left.file("size", "abc");
        f.right.file("size", "abcd");
        f.left.file("content", "abc");
        f.right.file("content", "abd", TestDir::DefaultTime + 60);
        f.left.file("left-only");
        f.right.file("right-only");
        f.loadBoth();
        const QString word = binary ? "Binär" : "Alters";
        const ComparisonReport result = f.core.RunComparison(binary);
        QCOMPARE(f.host.messages.size(), 1);
        QCOMPARE(f.host.messages[0].text, report);
        QCOMPARE(f.host.messages[0].icon, Host::Icon::Information);
        QCOMPARE(f.host.messages[0].buttons, Host::Buttons::Ok);
        QCOMPARE(f.host.statusHistory, (QStringList{"Status: " + word + "vergleich läuft ...",
                                                    "Status: " + word + "vergleich fertig!"}));
        QCOMPARE(f.host.compareEnabled, (QList<bool>{false, true}));
        QCOMPARE(f.host.progress.mid(0, 6), (QList<double>{100.0 / 6, 200.0 / 6, 50, 400.0 / 6, 500.0 / 6, 100}));
        QCOMPARE(f.host.progress.last(), 0.0);
        QVERIFY(!result.allEqual);
    }

    void allIdentical_data()
    {
        QTest::addColumn<bool>("binary");
        QTest::addColumn<bool>("empty");
        QTest::addColumn<QString>("report");
        const QString tail = QString(CR) + CR + "Beide Verzeichnisse sind vollkommen identisch!" + CR;
        QTest::newRow("binary") << true << false << "Ergebnis des Binärvergleichs von 2 Dateien:" + tail;
        QTest::newRow("age") << false << false << "Ergebnis des Versionsvergleichs von 2 Dateien:" + tail;
        QTest::newRow("binary, empty list") << true << true << "Ergebnis des Binärvergleichs von 0 Dateien:" + tail;
        QTest::newRow("age, empty list") << false << true << "Ergebnis des Versionsvergleichs von 0 Dateien:" + tail;
    }
    void allIdentical()
    {
        QFETCH(bool, binary);
        QFETCH(bool, empty);
        QFETCH(QString, report);
        Fixture f;
        if (!empty) {
            f.left.file("a", "1");
            f.right.file("A", "1");
            f.left.file("sub/b", "2");
            f.right.file("SUB/b", "2");
            f.loadBoth();
        }
        QVERIFY(f.core.RunComparison(binary).allEqual);
        QCOMPARE(f.host.messageTexts(), QStringList{report});
    }

    void rowWithoutAnyNameIsAnOrphan()
    {
        Fixture f;
        f.left.file("a");
        f.right.file("gone");
        TestDir secondRight;
        f.loadBoth();
        NativePath r = secondRight.path();
        bool toLeft = false;
        f.core.LoadFolder(r, toLeft);
        f.core.RunComparison(false);
        QCOMPARE(f.markerOf(""), QString("? <--"));
    }

    void unreadablePairs_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("size") << "size";
        QTest::newRow("open left") << "open left";
        QTest::newRow("open right") << "open right";
        QTest::newRow("read in the second block") << "read";
        QTest::newRow("vanished since the load") << "vanished";
        QTest::newRow("grown since it was sized") << "grown";
    }
    void unreadablePairs()
    {
        QFETCH(QString, fault);
        Fixture f;
        const QByteArray content(300000, 'z');
        f.left.file("bad", content);
        f.right.file("bad", content);
        f.left.file("good", "x");
        f.right.file("good", "x");
        f.loadBoth();
        if (fault == "size")
            f.fs.inspectErrors[f.left.path("bad")] = EIO;
        else if (fault == "open left")
            f.fs.openErrors[f.left.path("bad")] = EACCES;
        else if (fault == "open right")
            f.fs.openErrors[f.right.path("bad")] = EACCES;
        else if (fault == "read")
            f.fs.readFailsAt[f.right.path("bad")] = 262144 + 10;
        else if (fault == "vanished")
            f.right.remove("bad");
        else if (fault == "grown") // sized equal, then grown before it is opened
            f.fs.beforeOpen = [&](const NativePath &path) {
                if (path == f.right.path("bad"))
                    f.right.file("bad", content + "more");
            };
        const ComparisonReport report = f.core.RunComparison(true);
        QCOMPARE(f.markerOf("bad"), QString("!"));
        QCOMPARE(f.markerOf("good"), QString("="));
        QCOMPARE(report.unreadable, qint64(1));
        QCOMPARE(f.host.messageTexts(),
                 QStringList{"Ergebnis des Binärvergleichs von 2 Dateien:" + QString(CR) + CR +
                             "1 Dateien sind absolut identisch." + CR + "1 Dateien konnten nicht gelesen werden." + CR});
        QCOMPARE(f.fs.openFiles, 0);
        QCOMPARE(f.host.progress.last(), 0.0);
        QCOMPARE(f.host.compareEnabled.last(), true);
    }

    void yieldsEveryEighthRow_data()
    {
        QTest::addColumn<bool>("speed");
        QTest::addColumn<int>("yields");
        QTest::newRow("normal") << false << 2;
        QTest::newRow("faster") << true << 0;
    }
    void yieldsEveryEighthRow()
    {
        QFETCH(bool, speed);
        QFETCH(int, yields);
        Fixture f;
        for (int i = 0; i < 23; ++i)
            f.left.file("f" + QByteArray::number(i));
        f.loadBoth();
        f.host.speed = speed;
        int rowsMarkedAtFirstYield = -1;
        f.host.onYield = [&] {
            if (rowsMarkedAtFirstYield < 0) {
                rowsMarkedAtFirstYield = 0;
                for (int i = 0; i < f.list.count(); ++i)
                    rowsMarkedAtFirstYield += f.list.row(i).marker != Marker::None;
            }
        };
        f.core.RunComparison(false);
        QCOMPARE(f.host.yields, yields);
        if (!speed)
            QCOMPARE(rowsMarkedAtFirstYield, 8);
    }

    void batchLeavesOutTheReport_data()
    {
        QTest::addColumn<bool>("synchronise");
        QTest::addColumn<bool>("end");
        QTest::addColumn<bool>("reported");
        QTest::newRow("sync") << true << false << false;
        QTest::newRow("end") << false << true << false;
        QTest::newRow("neither") << false << false << true;
    }
    void batchLeavesOutTheReport()
    {
        QFETCH(bool, synchronise);
        QFETCH(bool, end);
        QFETCH(bool, reported);
        Fixture f;
        f.left.file("a");
        f.right.file("a");
        f.loadBoth();
        f.core.setBatchMode(true);
        f.core.batchRequests().synchronise = synchronise;
        f.core.batchRequests().end = end;
        f.core.RunComparison(true);
        QCOMPARE(f.host.messages.size(), reported ? 1 : 0);
        QCOMPARE(f.host.statusHistory.last(),
                 QString(reported ? "Status: Binärvergleich fertig!" : "Status: Binärvergleich läuft ..."));
        QCOMPARE(f.markerOf("a"), QString("="));
        QCOMPARE(f.host.progress.last(), 0.0);
        QCOMPARE(f.host.compareEnabled, (QList<bool>{false, true}));
    }
};

QTEST_GUILESS_MAIN(TestComparison)
#include "tst_comparison.moc"

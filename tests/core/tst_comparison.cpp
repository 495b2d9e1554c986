#include "corefixture.h"

#include <QFile>
#include <QTest>
#include <QThread>

#include <ctime>

#include <cerrno>

using namespace common;

class TestComparison : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Sizes decide first, then the bytes: within one block, across a block border, and on the large-file
    // path (from 8 MiB the right file is read by a thread of its own). Files are opened relative to the
    // folder of the file before: a folder whose name begins with another's ("a", "ab") is one of its own.
    // Each kind is counted in its own line of the report. A comparison yields every eighth row, never with
    // SpeedCheck.
    void binaryMarkers_data()
    {
        QTest::addColumn<bool>("speed");
        QTest::newRow("without SpeedCheck: a yield after row 8 of 14") << false;
        QTest::newRow("with SpeedCheck: no yield") << true;
    }
    void binaryMarkers()
    {
        QFETCH(bool, speed);
        CoreFixture f;
        f.host.speed = speed;
        const QByteArray block(262144, 'k'), blockAndOne(262145, 'k'), large((9 << 20) + 7, 'L');
        const qint64 later = TestDir::DefaultTime + 3600; // times do not count here
        f.pair("shorter", QByteArray(10, 'a'), QByteArray(11, 'a'), later);
        f.pair("longer", QByteArray(11, 'a'), QByteArray(10, 'a'), later);
        f.pair("empty", {}, {}, later);
        f.pair("block!", block, QByteArray(block).replace(262143, 1, "!"), later);
        f.pair("block+1", blockAndOne, blockAndOne, later);
        f.pair("block+1!", blockAndOne, QByteArray(blockAndOne).replace(262144, 1, "!"), later);
        f.pair("large", large, large, later);
        f.pair("large!", large, QByteArray(large).replace(large.size() - 1, 1, "!"), later);
        for (const char *name : {"a/f", "ab/f", "ab/g/f", "b/f"})
            f.pair(name, name, QByteArray(name) == "ab/f" ? "ab/F" : name, later);
        f.left.file("left-only");
        f.right.file("right-only");
        f.loadBoth();
        QVERIFY(!f.core.RunComparison(true).allEqual);
        QCOMPARE(f.rows(),
                 (QStringList{"|?|right-only", "a/f|=|a/f", "ab/f|<>|ab/f", "ab/g/f|=|ab/g/f", "b/f|=|b/f",
                              "block!|<>|block!", "block+1|=|block+1", "block+1!|<>|block+1!",
                              "empty|=|empty", "large|=|large", "large!|<>|large!", "left-only|?|",
                              "longer|>|longer", "shorter|<|shorter"}));
        QCOMPARE(f.host.messageTexts(), QStringList{"Ergebnis des Binärvergleichs von 14 Dateien:\r\r"
                                                    "2 Dateien sind verwaist.\r"
                                                    "2 Dateien haben eine unterschiedliche Länge.\r"
                                                    "4 Dateien sind zwar gleich groß, aber nicht identisch.\r"
                                                    "6 Dateien sind absolut identisch.\r"});
        QCOMPARE(f.fs.opens, 2 * 10); // pairs whose sizes differ are never opened
        f.host.events.clear();
        f.core.RunComparison(false);
        QCOMPARE(f.host.events.count("yield"), speed ? 0 : 1);
    }

    // Ages by the stamps of the load, to the second, and by the time itself: local stamps repeat an hour
    // when the clocks go back, and a year of five digits no longer fits them. The stamps shown stay local.
    void ageMarkers()
    {
        CoreFixture f;
        f.pair("newer", "left", "other content", TestDir::DefaultTime + 1);
        f.pair("older", "left", "other content", TestDir::DefaultTime - 1);
        f.left.file("same second", "left");
        f.right.file("same second", "other content", TestDir::DefaultTime, 999999999);
        f.left.file("left-only");
        f.right.file("right-only");
        f.loadBoth();
        f.right.file("older", "changed after the load", TestDir::DefaultTime + 999);
        std::vector<Row> rows;
        // 02:10 CET is forty minutes after 02:30 CEST; the year 10000 begins; before 1970.
        for (const auto &[left, right] : {std::pair<qint64, qint64>{1792890600, 1792888200},
                                          {253402297199, 253402297260},
                                          {-3610, -3611}})
            rows.push_back({"t", "t", {0, -1, left}, {0, -1, right}, Marker::None});
        f.list.appendRows(rows);
        qputenv("TZ", "Europe/Berlin");
        tzset();
        QVERIFY(!f.core.RunComparison(false).allEqual);
        qputenv("TZ", "UTC");
        tzset();
        QCOMPARE(f.rows(),
                 (QStringList{"|? <--|right-only", "left-only|? -->|", "newer|<--|newer", "older|-->|older",
                              "same second|=|same second", "t|-->|t", "t|<--|t", "t|-->|t"}));
        QCOMPARE(f.host.messageTexts(), QStringList{"Ergebnis des Versionsvergleichs von 8 Dateien:\r\r"
                                                    "2 Dateien sind verwaist.\r"
                                                    "5 Dateien haben ein unterschiedliches Alter.\r"
                                                    "1 Dateien haben ein gleiches Alter.\r"});
    }

    // Identical trees say so in both modes. A batch run that goes on to synchronise or to end has nobody
    // to read the report.
    void allIdenticalAndBatch_data()
    {
        QTest::addColumn<int>("requests"); // -1: no batch run; else 1 to synchronise, 2 to end
        QTest::addColumn<QStringList>("messages");
        const QString same = " Dateien:\r\rBeide Verzeichnisse sind vollkommen identisch!\r";
        QTest::newRow("age, no batch run")
            << -1 << QStringList{"Ergebnis des Versionsvergleichs von 1" + same};
        QTest::newRow("batch, synchronise next") << 1 << QStringList();
        QTest::newRow("batch, end next") << 2 << QStringList();
        QTest::newRow("batch, nothing next") << 0 << QStringList{"Ergebnis des Binärvergleichs von 1" + same};
    }
    void allIdenticalAndBatch()
    {
        QFETCH(int, requests);
        CoreFixture f;
        f.pair("a", "1", "1");
        f.loadBoth();
        if (requests < 0) {
            QVERIFY(f.core.RunComparison(false).allEqual);
        } else {
            f.core.setBatchMode(true);
            f.core.batchRequests().synchronise = requests & 1;
            f.core.batchRequests().end = requests & 2;
            QVERIFY(f.core.RunComparison(true).allEqual);
            QCOMPARE(f.host.panel2, QString(requests ? "Status: Binärvergleich läuft ..."
                                                     : "Status: Binärvergleich fertig!"));
            QCOMPARE(f.host.events.mid(f.host.events.size() - 2), (QStringList{"progress:0", "compare:on"}));
        }
        QTEST(f.host.messageTexts(), "messages");
    }

    // Every way a pair can fail to read, on either side, small (whole or in blocks) and large: unreadable,
    // counted so, the other pair compared all the same, and every file closed. A pair slow to read (200 ms,
    // as on a slow mount) keeps the window alive with SpeedCheck too, and the verdict is the file's.
    void unreadablePairs()
    {
        CoreFixture f;
        const QByteArray small(100, 'z'), blocks(300000, 'z'), large(9 << 20, 'z');
        f.pair("size", blocks, blocks + "x"); // sized anew only where sizes differed
        for (const char *name : {"open left", "open right", "grown while read", "right, block 2"})
            f.pair(name, blocks, blocks);
        f.pair("left, small", small, small);
        f.pair("left, large", large, large);
        f.pair("right, large", large, large);
        f.pair("good", "x", "x");
        f.loadBoth();
        f.fs.fail("inspect", f.left.path("size"), EIO);
        f.fs.fail("open", f.left.path("open left"), EACCES);
        f.fs.fail("open", f.right.path("open right"), EACCES);
        f.fs.fail("read", f.right.path("right, block 2"), 262144 + 10);
        f.fs.fail("read", f.left.path("left, small"), 1);
        f.fs.fail("read", f.left.path("left, large"), 5 << 20);
        f.fs.fail("read", f.right.path("right, large"), 5 << 20);
        f.fs.beforeRead = [&](const NativePath &path) {
            QFile grown(QString::fromUtf8(path));
            if (path == f.right.path("grown while read") && grown.open(QIODevice::Append))
                grown.write("more");
            if (path.endsWith("/good"))
                QThread::msleep(200);
        };
        f.host.speed = true;
        f.core.RunComparison(true);
        QVERIFY(f.host.events.count("yield") >= 4);
        QCOMPARE(f.host.messageTexts(), QStringList{"Ergebnis des Binärvergleichs von 9 Dateien:\r\r"
                                                    "1 Dateien sind absolut identisch.\r"
                                                    "8 Dateien konnten nicht gelesen werden.\r"});
        QCOMPARE(f.fs.openFiles, 0);
    }

};

QTEST_GUILESS_MAIN(TestComparison)
#include "tst_comparison.moc"

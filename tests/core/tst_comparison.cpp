#include "corefixture.h"

#include <QFile>
#include <QTest>

#include <chrono>
#include <ctime>
#include <thread>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

using namespace common;

namespace {
const QString Cr(CR); // as text, for sums of literals
}

class TestComparison : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void binaryMarkers_data()
    {
        QTest::addColumn<QByteArray>("leftContent");
        QTest::addColumn<QByteArray>("rightContent");
        QTest::addColumn<QString>("marker");
        const QByteArray block(262144, 'k'), blockAndOne(262145, 'k');
        QTest::newRow("shorter") << QByteArray(10, 'a') << QByteArray(11, 'a') << "<";
        QTest::newRow("longer") << QByteArray(11, 'a') << QByteArray(10, 'a') << ">";
        QTest::newRow("equal") << QByteArray("same") << QByteArray("same") << "=";
        QTest::newRow("empty") << QByteArray() << QByteArray() << "=";
        QTest::newRow("one block, last byte") << block << QByteArray(block).replace(262143, 1, "!") << "<>";
        QTest::newRow("one block equal") << block << block << "=";
        QTest::newRow("block and one, last byte") << blockAndOne << QByteArray(blockAndOne).replace(262144, 1, "!")
                                                  << "<>";
        QTest::newRow("block and one equal") << blockAndOne << blockAndOne << "=";
        const QByteArray large((9 << 20) + 7, 'L'); // read by two threads
        QTest::newRow("large equal") << large << large << "=";
        QTest::newRow("large, last byte") << large << QByteArray(large).replace(large.size() - 1, 1, "!") << "<>";
        QTest::newRow("large, first byte") << large << QByteArray(large).replace(0, 1, "!") << "<>";
    }
    void binaryMarkers()
    {
        QFETCH(QByteArray, leftContent);
        QFETCH(QByteArray, rightContent);
        QFETCH(QString, marker);
        CoreFixture f;
        f.left.file("f", leftContent);
        f.right.file("f", rightContent, TestDir::DefaultTime + 3600); // times do not count here
        f.loadBoth();
        f.list.setMarker(0, Marker::DeleteBoth); // a menu marker gives way to the verdict
        f.core.RunComparison(true);
        QCOMPARE(f.markerOf("f"), marker);
        QCOMPARE(f.fs.openFiles, 0);
        if (leftContent.size() != rightContent.size())
            QCOMPARE(f.fs.opens, 0);
    }

    // Files are opened relative to the folder of the file before: a folder whose name begins with another's
    // is a folder of its own.
    void siblingFoldersSharingAPrefix()
    {
        CoreFixture f;
        for (const char *name : {"a/f", "ab/f", "ab/g/f", "b/f"}) {
            f.left.file(name, name);
            f.right.file(name, QByteArray(name) == "ab/f" ? "ab/F" : name);
        }
        f.loadBoth();
        f.core.RunComparison(true);
        QCOMPARE(f.rows(), (QStringList{"a/f|=|a/f", "ab/f|<>|ab/f", "ab/g/f|=|ab/g/f", "b/f|=|b/f"}));
    }

    void ageMarkers_data()
    {
        QTest::addColumn<qint64>("rightOffset");
        QTest::addColumn<long>("rightNanoseconds");
        QTest::addColumn<QString>("marker");
        QTest::newRow("right newer") << qint64(1) << 0L << "<--";
        QTest::newRow("right older") << qint64(-1) << 0L << "-->";
        QTest::newRow("same second") << qint64(0) << 999999999L << "=";
    }
    void ageMarkers()
    {
        QFETCH(qint64, rightOffset);
        QFETCH(long, rightNanoseconds);
        QFETCH(QString, marker);
        CoreFixture f;
        f.left.file("f", "left");
        f.right.file("f", "other content");
        const timespec times[2] = {{time_t(TestDir::DefaultTime + rightOffset), rightNanoseconds},
                                   {time_t(TestDir::DefaultTime + rightOffset), rightNanoseconds}};
        QCOMPARE(::utimensat(AT_FDCWD, f.right.path("f").constData(), times, 0), 0);
        f.loadBoth();
        f.right.file("f", "changed after the load", TestDir::DefaultTime + 999); // judged by the stamps of the load
        f.core.RunComparison(false);
        QCOMPARE(f.markerOf("f"), marker);
        QCOMPARE(f.fs.opens, 0);
    }

    // Ages order by the time itself: local stamps repeat an hour when the clocks go back, and a year of
    // five digits no longer fits them. The stamps shown stay local.
    void ageOrderIsTimeOrder_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<qint64>("left");
        QTest::addColumn<qint64>("right");
        QTest::addColumn<QString>("marker");
        QTest::addColumn<QString>("leftStamp");
        // 02:10 CET is forty minutes after 02:30 CEST.
        QTest::newRow("autumn clock change") << QByteArray("Europe/Berlin") << qint64(1792890600)
                                             << qint64(1792888200) << "-->" << "2026102502:10:00";
        QTest::newRow("the year 10000") << QByteArray("UTC") << qint64(253402300799) << qint64(253402300860) << "<--"
                                        << "9999123123:59:59";
        QTest::newRow("before 1970") << QByteArray("UTC") << qint64(-10) << qint64(-11) << "-->" << "1969123123:59:50";
    }
    void ageOrderIsTimeOrder()
    {
        QFETCH(QByteArray, zone);
        QFETCH(qint64, left);
        QFETCH(qint64, right);
        QFETCH(QString, marker);
        QFETCH(QString, leftStamp);
        CoreFixture f;
        SeenFile l, r;
        l.modified = left;
        r.modified = right;
        std::vector<Row> rows{{"f", "f", l, r, Marker::None}};
        f.list.appendRows(rows);
        qputenv("TZ", zone);
        tzset();
        f.core.RunComparison(false);
        const QString shown = f.list.data(f.list.index(0, ComparisonList::LeftStampColumn)).toString();
        qputenv("TZ", "UTC");
        tzset();
        QCOMPARE(f.markerOf("f"), marker);
        QCOMPARE(shown, leftStamp);
    }

    void orphans()
    {
        CoreFixture f;
        TestDir secondRight;
        f.left.file("left-only");
        f.right.file("right-only");
        f.loadBoth();
        f.core.RunComparison(true);
        QCOMPARE(f.rows(), (QStringList{"|?|right-only", "left-only|?|"}));
        f.load(secondRight.path(), false); // leaves a row without any name
        f.core.RunComparison(false);
        QCOMPARE(f.rows(), (QStringList{"|? <--|", "left-only|? -->|"}));
    }

    void reports_data()
    {
        QTest::addColumn<bool>("binary");
        QTest::addColumn<QString>("report");
        QTest::newRow("binary") << true
                                << "Ergebnis des Binärvergleichs von 7 Dateien:" + Cr + Cr + "2 Dateien sind verwaist." +
                                       Cr + "2 Dateien haben eine unterschiedliche Länge." + Cr +
                                       "1 Dateien sind zwar gleich groß, aber nicht identisch." + Cr +
                                       "2 Dateien sind absolut identisch." + Cr;
        QTest::newRow("age") << false
                             << "Ergebnis des Versionsvergleichs von 7 Dateien:" + Cr + Cr + "2 Dateien sind verwaist." +
                                    Cr + "1 Dateien haben ein unterschiedliches Alter." + Cr +
                                    "4 Dateien haben ein gleiches Alter." + Cr;
    }
    void reports()
    {
        QFETCH(bool, binary);
        QFETCH(QString, report);
        CoreFixture f;
        for (const char *name : {"same1", "shorter", "content"})
            f.left.file(name, "abc");
        f.left.file("longer", "abcd");
        f.right.file("longer", "abc");
        f.right.file("same1", "abc");
        f.left.file("same2", "");
        f.right.file("same2", "");
        f.right.file("shorter", "abcd");
        f.right.file("content", "abd", TestDir::DefaultTime + 60);
        f.left.file("left-only");
        f.right.file("right-only");
        f.loadBoth();
        const QString word = binary ? "Binär" : "Alters";
        QVERIFY(!f.core.RunComparison(binary).allEqual);
        QCOMPARE(f.host.messageTexts(), QStringList{report});
        QCOMPARE(f.host.messages[0].icon, Host::Icon::Information);
        QCOMPARE(f.host.events.mid(0, 2), (QStringList{"compare:off", "panel2:Status: " + word + "vergleich läuft ..."}));
        QCOMPARE(f.host.recorded("progress:").mid(0, 2), (QStringList{"14.2857", "28.5714"})); // a step a row
        // The report box is shown at 100 %; the bar returns to 0 only after it is closed.
        QCOMPARE(f.host.events.mid(f.host.events.size() - 5),
                 (QStringList{"progress:100", "panel2:Status: " + word + "vergleich fertig!",
                              "message:" + report.section(QChar(13), 0, 0), "progress:0", "compare:on"}));
    }

    void allIdentical_data()
    {
        QTest::addColumn<bool>("binary");
        QTest::addColumn<bool>("empty");
        QTest::addColumn<QString>("head");
        QTest::newRow("binary") << true << false << "Ergebnis des Binärvergleichs von 2 Dateien:";
        QTest::newRow("age") << false << false << "Ergebnis des Versionsvergleichs von 2 Dateien:";
        QTest::newRow("age, empty list") << false << true << "Ergebnis des Versionsvergleichs von 0 Dateien:";
    }
    void allIdentical()
    {
        QFETCH(bool, binary);
        QFETCH(bool, empty);
        QFETCH(QString, head);
        CoreFixture f;
        if (!empty) {
            f.left.file("a", "1");
            f.right.file("A", "1");
            f.left.file("sub/b", "2");
            f.right.file("SUB/b", "2");
            f.loadBoth();
        }
        QVERIFY(f.core.RunComparison(binary).allEqual);
        QCOMPARE(f.host.messageTexts(),
                 QStringList{head + Cr + Cr + "Beide Verzeichnisse sind vollkommen identisch!" + Cr});
    }

    void unreadablePairs_data()
    {
        QTest::addColumn<QString>("fault");
        for (const char *fault : {"size", "open left", "open right", "read in the second block", "vanished",
                                  "grown while read", "read of a large right file", "read of a small left file"})
            QTest::newRow(fault) << fault;
    }
    void unreadablePairs()
    {
        QFETCH(QString, fault);
        CoreFixture f;
        const QByteArray content(fault.contains("large") ? (9 << 20) : fault.contains("small") ? 100 : 300000, 'z');
        f.left.file("bad", content);
        f.right.file("bad", fault == "size" ? content + "x" : content); // sized anew only where sizes differed
        f.left.file("good", "x");
        f.right.file("good", "x");
        f.loadBoth();
        if (fault == "size")
            f.fs.fail("inspect", f.left.path("bad"), EIO);
        else if (fault == "open left")
            f.fs.fail("open", f.left.path("bad"), EACCES);
        else if (fault == "open right")
            f.fs.fail("open", f.right.path("bad"), EACCES);
        else if (fault == "read in the second block")
            f.fs.fail("read", f.right.path("bad"), 262144 + 10);
        else if (fault == "read of a large right file") // read on a thread of its own
            f.fs.fail("read", f.right.path("bad"), 5 << 20);
        else if (fault == "read of a small left file")
            f.fs.fail("read", f.left.path("bad"), 1);
        else if (fault == "vanished")
            f.right.remove("bad");
        else
            f.fs.beforeRead = [&](const NativePath &path) {
                if (path == f.right.path("bad")) {
                    QFile grown(QString::fromUtf8(path));
                    QVERIFY(grown.open(QIODevice::Append));
                    grown.write("more");
                }
            };
        const ComparisonReport report = f.core.RunComparison(true);
        QCOMPARE(f.rows(), (QStringList{"bad|!|bad", "good|=|good"}));
        QCOMPARE(report.unreadable, qint64(1));
        QCOMPARE(f.host.messageTexts(),
                 QStringList{"Ergebnis des Binärvergleichs von 2 Dateien:" + Cr + Cr + "1 Dateien sind absolut identisch." +
                             Cr + "1 Dateien konnten nicht gelesen werden." + Cr});
        QCOMPARE(f.fs.openFiles, 0);
        QCOMPARE(f.host.events.mid(f.host.events.size() - 2), (QStringList{"progress:0", "compare:on"}));
    }

    void yieldsEveryEighthRow()
    {
        CoreFixture f;
        for (int i = 0; i < 23; ++i)
            f.left.file("f" + QByteArray::number(i));
        f.loadBoth();
        int markedAtFirstYield = -1;
        f.host.onYield = [&] {
            if (markedAtFirstYield < 0)
                markedAtFirstYield = f.rows().filter("? -->").size();
        };
        f.core.RunComparison(false);
        QCOMPARE(f.host.events.count("yield"), 2);
        QCOMPARE(markedAtFirstYield, 8);
        f.host.speed = true;
        f.host.events.clear();
        f.core.RunComparison(false);
        QCOMPARE(f.host.events.count("yield"), 0);
    }

    void aSlowReadKeepsTheWindowAlive_data()
    {
        QTest::addColumn<bool>("speed");
        QTest::newRow("normal") << false;
        QTest::newRow("faster: waiting costs nothing, so it yields as well") << true;
    }
    void aSlowReadKeepsTheWindowAlive()
    {
        // One pair whose file takes 200 ms to answer, as on a slow mount: the run yields while it waits,
        // and the verdict is the file's.
        QFETCH(bool, speed);
        CoreFixture f;
        f.left.file("a", "same");
        f.right.file("a", "same");
        f.left.file("b", "one");
        f.right.file("b", "two");
        f.loadBoth();
        f.host.speed = speed;
        f.fs.beforeRead = [&](const NativePath &path) {
            if (path.endsWith("/b"))
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
        };
        f.core.RunComparison(true);
        QVERIFY(f.host.events.count("yield") >= 4);
        QCOMPARE(f.rows(), (QStringList{"a|=|a", "b|<>|b"}));
    }

    void batchLeavesOutTheReport_data()
    {
        QTest::addColumn<bool>("synchronise");
        QTest::addColumn<bool>("end");
        QTest::newRow("sync") << true << false;
        QTest::newRow("end") << false << true;
        QTest::newRow("neither") << false << false;
    }
    void batchLeavesOutTheReport()
    {
        QFETCH(bool, synchronise);
        QFETCH(bool, end);
        CoreFixture f;
        f.left.file("a");
        f.right.file("a");
        f.loadBoth();
        f.core.setBatchMode(true);
        f.core.batchRequests().synchronise = synchronise;
        f.core.batchRequests().end = end;
        f.core.RunComparison(true);
        const bool reported = !synchronise && !end;
        QCOMPARE(f.host.messages.size(), reported ? 1 : 0);
        QCOMPARE(f.host.recorded("panel2:").last(),
                 QString(reported ? "Status: Binärvergleich fertig!" : "Status: Binärvergleich läuft ..."));
        QCOMPARE(f.markerOf("a"), QString("="));
        QCOMPARE(f.host.events.mid(f.host.events.size() - 2), (QStringList{"progress:0", "compare:on"}));
    }
};

QTEST_GUILESS_MAIN(TestComparison)
#include "tst_comparison.moc"

#include "corefixture.h"

#include <QRegularExpression>
#include <QTest>
#include <QThread>

#include <atomic>
#include <cerrno>

using namespace common;

class TestLoadFolder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The first folder goes into the left column, whichever was asked for. Right files pair with left rows
    // by name without regard to letter case, in folders too. A right folder listed ahead beside the left
    // load is listed once, each of its folders, and pairs as a plain load does. A second right folder wipes
    // every right name and marker; rows without a left name never match. A left folder starts over. With
    // "Sofort-Start" the load of a right folder runs the comparison of the chosen mode; a left one never
    // does. A drop brings one folder whose name has no '?'.
    void pairingAndChoosing()
    {
        std::atomic<int> rightListings{0}; // the hook runs on the listers' threads; the fixture ends first
        CoreFixture f;
        TestDir right2;
        for (const char *name : {"a.txt", "Sub/b.txt"})
            f.left.file(name);
        for (const char *name : {"A.TXT", "SUB/B.TXT", "x", "SUB/.hidden/y"})
            f.right.file(name);
        right2.file("X");
        right2.folder("wh?");
        f.fs.beforeList = [&](const NativePath &folder) {
            rightListings += folder.startsWith(f.right.path() + '/');
        };
        f.core.PlanBothLoads(f.left.path(), f.right.path());
        QTRY_VERIFY(rightListings > 0); // its root is being listed before the left load begins
        f.load(f.left.path(), false); // an empty list takes it into the left column
        f.load(f.right.path(), false);
        // The root and SUB, once each (not the hidden folder): the listing ahead was kept.
        QCOMPARE(rightListings, 2);
        QCOMPARE(f.rows(), (QStringList{"||x", "a.txt||A.TXT", "Sub/b.txt||SUB/B.TXT"}));
        QCOMPARE(f.list.headerText(0) + f.list.headerText(2),
                 QString::fromUtf8(f.left.path() + '/' + f.right.path() + '/'));
        f.list.setMarker(1, Marker::Skip);
        f.load(right2.path(), false);
        QCOMPARE(f.rows(), (QStringList{"||X", "a.txt||", "Sub/b.txt||"})); // the old right-only row goes
        f.host.sofortStart = true;
        f.load(right2.path(), true);
        f.load(right2.path(), false);
        f.host.binary = false;
        f.load(right2.path(), false);
        f.host.sofortStart = false;
        f.load(right2.path(), false);
        QCOMPARE(f.rows(), QStringList{"X||X"});
        f.core.DropFolder({right2.path("X")}, 0);
        f.core.DropFolder({right2.path("gone")}, 0);
        f.core.DropFolder({right2.path("wh?")}, 0);
        f.core.DropFolder({}, 0);
        const QString onlyFolders = "Bitte nur Verzeichnisse (keine Einzeldateien) in die Liste ziehen!";
        QCOMPARE(f.host.recorded("message:"),
                 (QStringList{"Ergebnis des Binärvergleichs von 1 Dateien:",
                              "Ergebnis des Versionsvergleichs von 1 Dateien:", onlyFolders, onlyFolders,
                              "Dieser Verzeichnisname enthält ungültige Zeichen - bitte korrigieren!"}));
        f.load(right2.path("wh?"), true); // an empty folder
        QCOMPARE(f.host.panel1, QString("0 Dateien"));
        // Loaded alone, a left folder's rows come sorted, not in the scan's order (a/d, a-b, b, Z/c: the
        // folder "a" before the file "a-b", though "a-b" sorts before "a/d").
        TestDir alone;
        for (const char *name : {"b", "Z/c", "a/d", "a-b"})
            alone.file(name);
        f.load(alone.path(), true);
        QCOMPARE(f.rows(), (QStringList{"a-b||", "a/d||", "b||", "Z/c||"}));
    }

    // A folder's files and subfolders in the order of their names (Ä as A), each subtree whole in its place.
    // Hidden entries (in subfolders too) and links back into a folder of the current path are left out,
    // other links followed; entries that cannot be read are reported and left out. A folder whose listing
    // outgrows a first read comes whole.
    void scan()
    {
        CoreFixture f;
        for (const char *name : {"a", "x.txt", "Ärger.txt", "S1/f.txt", "S1/T/f.txt", "S2/f.txt", "S2/U/g.txt",
                                 ".profile", ".git/config", "locked/x", "S2/.cache/x", "S2/U/.hidden.txt"})
            f.left.file(name);
        f.left.link("a-link", "x.txt");
        f.left.link("S1/up", "..");
        f.left.link("S1/to-T", "T"); // not on its own path: followed
        f.left.link("dangling", "nowhere");
        f.fs.fail("entry", f.left.path("a"), EACCES);
        f.fs.fail("list", f.left.path("locked") + '/', EACCES);
        const auto scanned = [](CoreFixture &fixture) {
            fixture.core.ScanFolder(fixture.left.path() + '/');
            QStringList found;
            for (const ScannedFile &file : fixture.core.FileList())
                found << QString::fromUtf8(file.name);
            return found;
        };
        QCOMPARE(scanned(f), (QStringList{"a-link", "Ärger.txt", "S1/f.txt", "S1/T/f.txt", "S1/to-T/f.txt", "S2/f.txt",
                                          "S2/U/g.txt", "x.txt"}));
        QCOMPARE(f.host.recorded("message:").replaceInStrings(QString::fromUtf8(f.left.path()), "L"),
                 (QStringList{"Zugriffsfehler 13 auf 'L/a'", "Zugriffsfehler 2 auf 'L/dangling'",
                              "Zugriffsfehler 13 auf 'L/locked'"}));
        QVERIFY(f.host.messages[0].text.endsWith("\rDieser Name wird fortan ignoriert ...") &&
                f.host.messages[0].icon == Host::Icon::Warning); // a warning: trouble for the CLI

        CoreFixture large;
        QStringList many;
        for (int i = 0; i < 1500; ++i)
            many << "many/" + QString::number(i) + QString(200, 'n');
        for (const QString &name : many)
            large.left.file(name.toUtf8());
        many.sort();
        QCOMPARE(scanned(large), many);

        // The scan's list grows in chunks: every file keeps its place, across chunk borders too.
        ScannedFiles chunked;
        for (size_t i = 0; i < 2 * ScannedFiles::ChunkSize + 3; ++i)
            chunked.push_back({QByteArray::number(qulonglong(i)), {}});
        size_t i = 0;
        for (const ScannedFile &file : chunked)
            QCOMPARE(file.name, QByteArray::number(qulonglong(i++)));
        QCOMPARE(i, 2 * ScannedFiles::ChunkSize + 3);
        // Emptied for the next scan, it fills the chunks it kept from the first on.
        chunked.clearForNextScan();
        for (size_t j = 0; j <= ScannedFiles::ChunkSize; ++j)
            chunked.push_back({QByteArray::number(qulonglong(j) + 7), {}});
        QCOMPARE(chunked.size(), ScannedFiles::ChunkSize + 1);
        QCOMPARE(chunked[0].name, "7");
        QCOMPARE(chunked[ScannedFiles::ChunkSize].name, QByteArray::number(qulonglong(ScannedFiles::ChunkSize) + 7));
    }

    // A load yields after each folder and every 64th file, with SpeedCheck only after each folder and while
    // it waits for a folder slow to list; 25 % for the scan, 50 % once scanned, then a step a file up to
    // 100 %. While it yields, other operations are refused, and a sort waits for the load's end.
    void stepsAndYields_data()
    {
        QTest::addColumn<bool>("speed");
        QTest::newRow("without SpeedCheck") << false;
        QTest::newRow("with SpeedCheck") << true;
    }
    void stepsAndYields()
    {
        QFETCH(bool, speed);
        CoreFixture f;
        for (int i = 0; i < 129; ++i)
            f.left.file("f" + QByteArray::number(i));
        for (int i = 0; i < 200; ++i)
            f.right.file("F" + QByteArray::number(i));
        f.left.file("sub/f");
        f.right.file("a slow folder/f");
        f.host.speed = speed;
        f.load(f.left.path(), true);
        // After each folder (2) and every 64th file (2 more); a slow moment adds one for each 25 ms spent
        // waiting for a listing or working through one.
        const auto leftYields = f.host.events.count("yield");
        QVERIFY2(leftYields >= (speed ? 2 : 4) && leftYields <= (speed ? 4 : 6), qPrintable(QString::number(leftYields)));
        // 200 ms to list, as on a slow mount.
        f.fs.beforeList = [](const NativePath &folder) {
            if (folder.endsWith("/a slow folder/"))
                QThread::msleep(200);
        };
        f.host.events.clear();
        f.host.onYield = [&] {
            f.load(f.right.path(), true);
            f.core.RunComparison(true);
            f.core.RunSynchronisation();
            f.core.ExportListToClipboard(); // a half-paired list is no list to hand on
            f.list.sort(ComparisonList::RightNameColumn, Qt::DescendingOrder);
        };
        f.load(f.right.path(), false);
        QVERIFY(f.host.events.count("yield") >= 2 + 4);
        QCOMPARE(f.rows().filter(QRegularExpression("^f(\\d+)\\|\\|F\\1$")).size(), 129);
        QCOMPARE(f.rows().first(), QString("f99||F99"));
        QVERIFY(f.host.messages.isEmpty());
        QCOMPARE(f.host.events.count("clipboard"), 0);
        const QStringList progress = f.host.recorded("progress:");
        QCOMPARE(progress.mid(0, 3) + progress.mid(progress.size() - 2),
                 (QStringList{"25", "50", QString::number(50.0 / 201 + 50), "100", "0"}));
        QCOMPARE(f.host.events.filter(QRegularExpression("^(panel|busy|compare)")),
                 (QStringList{"compare:off", "busy:on", "panel1:", "panel2:",
                              "panel2:Status: Aufstellung der Dateien im betr. Verzeichnis läuft ...",
                              "panel2:Status: Eintragung der Dateien in die Vergleichsliste läuft ...",
                              "panel2:Status: Eintragung der Dateien abgeschlossen.", "panel1:202 Dateien",
                              "busy:off", "compare:on"}));
    }

    // Escape stops a comparison with the verdicts so far and no others, a load with the list empty; the next
    // load is whole again.
    void stopped()
    {
        CoreFixture f;
        for (int i = 0; i < 20; ++i)
            f.pair(QByteArray::number(i), "x", "x");
        f.loadBoth();
        f.core.RunComparison(false); // verdicts that a stopped comparison does not leave standing
        f.host.onYield = [&] { f.core.StopOperation(); };
        f.core.RunComparison(false);
        QCOMPARE(f.rows().filter("|=|").size(), 8);
        QCOMPARE(f.host.panel2, QString("Status: Altersvergleich abgebrochen."));
        f.load(f.left.path(), true);
        QCOMPARE(f.list.count(), 0);
        QCOMPARE(f.host.panel2, QString("Status: Einlesen abgebrochen."));
        f.host.onYield = {};
        f.loadBoth();
        QCOMPARE(f.list.count(), 20);
    }
};

QTEST_GUILESS_MAIN(TestLoadFolder)
#include "tst_loadfolder.moc"

#include "core.h"
#include "fakehost.h"
#include "faultyfilesystem.h"
#include "testdir.h"

#include <QTest>

#include <cerrno>
#include <ctime>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace common;

namespace {

struct Fixture
{
    FakeHost host;
    FaultyFileSystem fs;
    Core core{host, fs};
    ComparisonList &list = core.list();

    void load(const NativePath &folder, bool toLeft)
    {
        NativePath path = folder;
        core.LoadFolder(path, toLeft);
    }
    // Rows as "left|marker|right", in list order.
    QStringList rows() const
    {
        QStringList out;
        for (int i = 0; i < list.count(); ++i) {
            const Row &r = list.row(i);
            out << QString::fromUtf8(r.leftName) + '|' + MarkerText(r.marker) + '|' + QString::fromUtf8(r.rightName);
        }
        return out;
    }
};

QByteArray relativeTo(const TestDir &dir, const NativePath &full)
{
    return full.mid(dir.path().size() + 1);
}

} // namespace

class TestLoadFolder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        tzset();
    }

    void pairsByNameWithoutRegardToCase()
    {
        TestDir left, right;
        left.file("a.txt", "1", 1046855223);
        left.file("Sub/b.txt");
        right.file("A.TXT", "2", 1046898423);
        right.file("c.txt");
        right.file("SUB/B.TXT");
        Fixture f;
        f.load(left.path(), true);
        QCOMPARE(f.core.LeftPath(), left.path() + '/');
        QCOMPARE(f.rows(), (QStringList{"a.txt||", "Sub/b.txt||"}));
        QCOMPARE(f.host.panel1, QString("2 Dateien"));
        QCOMPARE(f.list.headerText(0), QString::fromUtf8(left.path() + '/'));
        QCOMPARE(f.list.headerText(2), QString("Zweiter Ordner"));

        f.load(right.path(), false);
        QCOMPARE(f.core.RightPath(), right.path() + '/');
        QCOMPARE(f.rows(), (QStringList{"||c.txt", "a.txt||A.TXT", "Sub/b.txt||SUB/B.TXT"}));
        QCOMPARE(f.list.row(1).leftStamp, Stamp(20030305090703));
        QCOMPARE(f.list.row(1).rightStamp, Stamp(20030305210703));
        QCOMPARE(f.list.row(0).leftStamp, Stamp(0));
        QCOMPARE(f.host.panel1, QString("3 Dateien"));
        QCOMPARE(f.list.headerText(2), QString::fromUtf8(right.path() + '/'));
    }

    void statusProgressAndCompareCommand()
    {
        TestDir left;
        for (int i = 0; i < 130; ++i)
            left.file(QByteArray::number(i));
        Fixture f;
        f.load(left.path(), true);
        QCOMPARE(f.host.statusHistory, (QStringList{"", "Status: Aufstellung der Dateien im betr. Verzeichnis läuft ...",
                                                    "Status: Eintragung der Dateien in die Vergleichsliste läuft ...",
                                                    "Status: Eintragung der Dateien abgeschlossen."}));
        QCOMPARE(f.host.countHistory, (QStringList{"", "130 Dateien"}));
        QCOMPARE(f.host.compareEnabled, (QList<bool>{false, true}));
        QCOMPARE(f.host.busy, (QList<bool>{true, false}));
        QCOMPARE(f.host.progress.first(), 25.0);
        QCOMPARE(f.host.progress[1], 50.0);
        QCOMPARE(f.host.progress[2], 50.0 + 50.0 / 130);
        QCOMPARE(f.host.progress[f.host.progress.size() - 2], 100.0);
        QCOMPARE(f.host.progress.last(), 0.0);
        QCOMPARE(f.host.yields, 1 + 2); // one folder listed, files 64 and 128

        f.host.clearRecords();
        f.host.speed = true;
        f.load(left.path(), true);
        QCOMPARE(f.host.yields, 1); // the scan yields per folder whatever the option says
    }

    void orderOfTheSteps()
    {
        TestDir left, right;
        left.file("a");
        right.file("a");
        Fixture f;
        f.load(left.path(), true);
        QCOMPARE(f.host.events,
                 (QStringList{"compare:off", "busy:on", "panel1:", "panel2:", "progress:25",
                              "panel2:Status: Aufstellung der Dateien im betr. Verzeichnis läuft ...", "yield",
                              "progress:50", "panel2:Status: Eintragung der Dateien in die Vergleichsliste läuft ...",
                              "progress:100", "panel2:Status: Eintragung der Dateien abgeschlossen.", "panel1:1 Datei",
                              "busy:off", "progress:0", "compare:on"}));
        f.load(right.path(), false);
        f.host.clearRecords();
        f.core.RunComparison(true);
        QCOMPARE(f.host.events, (QStringList{"compare:off", "panel2:Status: Binärvergleich läuft ...", "progress:100",
                                             "panel2:Status: Binärvergleich fertig!",
                                             "message:Ergebnis des Binärvergleichs von 1 Dateien:", "progress:0",
                                             "compare:on"}));
    }

    void countPanel_data()
    {
        QTest::addColumn<int>("files");
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << 0 << "0 Dateien";
        QTest::newRow("one") << 1 << "1 Datei";
        QTest::newRow("two") << 2 << "2 Dateien";
    }
    void countPanel()
    {
        QFETCH(int, files);
        QFETCH(QString, text);
        TestDir left;
        for (int i = 0; i < files; ++i)
            left.file("f" + QByteArray::number(i));
        Fixture f;
        f.load(left.path(), true);
        QCOMPARE(f.host.panel1, text);
    }

    void countsRowsOfBothSides()
    {
        TestDir left, right;
        for (const char *name : {"a", "b", "c"})
            left.file(name);
        for (const char *name : {"d", "e", "f"})
            right.file(name);
        Fixture f;
        f.load(left.path(), true);
        f.load(right.path(), false);
        QCOMPARE(f.host.panel1, QString("6 Dateien"));
    }

    void scanOrderAndExclusions()
    {
        TestDir dir;
        dir.file("x.txt");
        dir.file("S1/f.txt");
        dir.file("S1/T/f.txt");
        dir.file("S2/f.txt");
        dir.file("S2/U/g.txt");
        dir.file("S2/h.txt");
        dir.file(".profile");
        dir.file(".git/config");
        dir.folder("empty/inner");
        QCOMPARE(::mkfifo(dir.path("fifo").constData(), 0644), 0);
        QVERIFY(::chmod(dir.path("x.txt").constData(), 0444) == 0); // read-only files count like others
        Fixture f;
        f.core.ScanFolder(dir.path());
        QStringList found;
        for (const ScannedFile &file : f.core.FileList())
            found << QString::fromUtf8(relativeTo(dir, file.path));
        // A folder's files, then the subtree of the subfolder listed last, then the one before it.
        QCOMPARE(found, (QStringList{"x.txt", "S2/f.txt", "S2/h.txt", "S2/U/g.txt", "S1/f.txt", "S1/T/f.txt"}));
        QCOMPARE(f.host.messages.size(), 0);
        QCOMPARE(f.host.yields, 7); // the folder, S1, S1/T, S2, S2/U, empty, empty/inner
    }

    void pathWithOrWithoutSeparator()
    {
        TestDir dir;
        dir.file("S/f.txt");
        Fixture a, b;
        a.core.ScanFolder(dir.path());
        b.core.ScanFolder(dir.path() + '/');
        QCOMPARE(a.core.FileList().at(0).path, dir.path() + "/S/f.txt");
        QCOMPARE(b.core.FileList().at(0).path, dir.path() + "/S/f.txt");
    }

    void secondRightLoadWipesRightSide()
    {
        TestDir left, right1, right2;
        left.file("a");
        right1.file("a");
        right1.file("only1");
        right2.file("b");
        Fixture f;
        f.load(left.path(), true);
        f.load(right1.path(), false);
        for (int i = 0; i < f.list.count(); ++i)
            f.list.setMarker(i, Marker::Skip);
        f.load(right2.path(), false);
        QCOMPARE(f.rows(), (QStringList{"||", "||b", "a||"}));
        QCOMPARE(f.host.panel1, QString("3 Dateien"));
        QCOMPARE(f.list.row(0).rightStamp, Stamp(20031216140509)); // left over; no name beside it
    }

    void leftLoadStartsOver()
    {
        TestDir left1, right, left2;
        left1.file("a");
        right.file("a");
        left2.file("z");
        Fixture f;
        f.load(left1.path(), true);
        f.load(right.path(), false);
        f.load(left2.path(), true);
        QCOMPARE(f.rows(), QStringList{"z||"});
        QCOMPARE(f.list.headerText(2), QString("Zweiter Ordner"));
        QCOMPARE(f.core.RightPath(), right.path() + '/'); // kept, though no row refers to it
    }

    void emptyListForcesLeftColumn()
    {
        TestDir empty, right;
        empty.folder("sub");
        right.file("r");
        Fixture f;
        NativePath path = right.path();
        bool toLeft = false;
        f.core.LoadFolder(path, toLeft); // nothing loaded yet
        QVERIFY(toLeft);
        QCOMPARE(path, right.path() + '/');
        QCOMPARE(f.rows(), QStringList{"r||"});

        Fixture g;
        g.load(empty.path(), true);
        QCOMPARE(g.host.panel1, QString("0 Dateien"));
        g.load(right.path(), false); // the list is still empty
        QCOMPARE(g.core.LeftPath(), right.path() + '/');
        QCOMPARE(g.rows(), QStringList{"r||"});
    }

    void namesDifferingOnlyInCaseOnTheLeft()
    {
        TestDir left, right1, right2;
        left.file("readme", {}, TestDir::DefaultTime + 10);
        left.file("README");
        right1.file("ReadMe");
        right1.file("rEADME");
        right2.file("x");
        right2.file("X");
        Fixture f;
        f.load(left.path(), true);
        f.list.sort(ComparisonList::LeftStampColumn, Qt::DescendingOrder); // "readme" is now first
        QCOMPARE(f.list.row(0).leftName, NativePath("readme"));
        f.load(right1.path(), false);
        // Both right files join the first matching row in the current order; the one found later wins.
        QCOMPARE(f.list.count(), 2);
        QCOMPARE(f.list.row(0).leftName, NativePath("readme"));
        QCOMPARE(f.list.row(0).rightName, NativePath("rEADME"));
        QCOMPARE(f.list.row(1).rightName, NativePath());

        // Right-only names that differ in case get a row each: rows without a left name never match.
        f.load(right2.path(), false);
        QCOMPARE(f.list.count(), 4);
    }

    void namesThatAreNotUtf8()
    {
        TestDir left, right;
        left.file("caf\xe9.txt", "x");
        left.file("caf\xe8.txt", "y");
        right.file("CAF\xe9.TXT", "x");
        Fixture f;
        f.load(left.path(), true);
        f.load(right.path(), false);
        QCOMPARE(f.list.count(), 2);
        int paired = 0;
        for (int i = 0; i < f.list.count(); ++i)
            paired += f.list.row(i).rightName == "CAF\xe9.TXT" && f.list.row(i).leftName == "caf\xe9.txt";
        QCOMPARE(paired, 1);
    }

    void sofortStart_data()
    {
        QTest::addColumn<bool>("checked");
        QTest::addColumn<bool>("batch");
        QTest::addColumn<bool>("binary");
        QTest::addColumn<QString>("report");
        QTest::newRow("off") << false << false << true << "";
        QTest::newRow("binary") << true << false << true << "Ergebnis des Binärvergleichs von 1 Dateien:";
        QTest::newRow("age") << true << false << false << "Ergebnis des Versionsvergleichs von 1 Dateien:";
        QTest::newRow("batch") << true << true << true << "";
    }
    void sofortStart()
    {
        QFETCH(bool, checked);
        QFETCH(bool, batch);
        QFETCH(bool, binary);
        QFETCH(QString, report);
        TestDir left, right;
        left.file("a");
        right.file("a");
        Fixture f;
        f.host.sofortStart = checked;
        f.host.binary = binary;
        f.core.setBatchMode(batch);
        f.load(left.path(), false); // the empty list makes it the left column, which never compares
        QCOMPARE(f.host.messages.size(), 0);
        f.load(right.path(), false);
        QCOMPARE(f.host.messages.isEmpty() ? QString() : f.host.messages.first().text.section(QChar(13), 0, 0),
                 report);
    }

    void drop_data()
    {
        QTest::addColumn<QByteArrayList>("paths");
        QTest::addColumn<QString>("message");
        QTest::newRow("two folders") << QByteArrayList{"L", "R"}
                                     << "Bitte jeweils nur ein einzelnes Verzeichnis in die Liste ziehen!";
        QTest::newRow("a file") << QByteArrayList{"R/r"}
                                << "Bitte nur Verzeichnisse (keine Einzeldateien) in die Liste ziehen!";
        QTest::newRow("nothing there") << QByteArrayList{"gone"}
                                       << "Bitte nur Verzeichnisse (keine Einzeldateien) in die Liste ziehen!";
        QTest::newRow("question mark") << QByteArrayList{"wh?"}
                                       << "Dieser Verzeichnisname enthält ungültige Zeichen - bitte korrigieren!";
    }
    void drop()
    {
        QFETCH(QByteArrayList, paths);
        QFETCH(QString, message);
        TestDir dir;
        dir.file("L/l");
        dir.file("R/r");
        dir.folder("wh?");
        Fixture f;
        f.load(dir.path("L"), true);
        std::vector<NativePath> dropped;
        for (const QByteArray &p : paths)
            dropped.push_back(dir.path(p));
        f.core.DropFolder(dropped, 1000);
        QCOMPARE(f.host.messages.size(), 1);
        QCOMPARE(f.host.messages[0].text, message);
        QCOMPARE(f.host.messages[0].icon, Host::Icon::None);
        QCOMPARE(f.rows(), QStringList{"l||"});

        f.core.DropFolder({}, 0); // no files in the dragged data: nothing at all
        QCOMPARE(f.host.messages.size(), 1);
    }

    void dropPositionChoosesColumn()
    {
        TestDir dir;
        dir.file("L/l");
        dir.file("R/l");
        dir.file("N/n");
        Fixture f;
        f.list.setColumn1Width(252);
        f.core.DropFolder({dir.path("L")}, 300); // empty list: left whatever the position
        QCOMPARE(f.rows(), QStringList{"l||"});
        f.core.DropFolder({dir.path("R")}, 252); // on the edge: right
        QCOMPARE(f.rows(), QStringList{"l||l"});
        f.core.DropFolder({dir.path("N")}, 251);
        QCOMPARE(f.rows(), QStringList{"n||"});
        QCOMPARE(f.host.messages.size(), 0);
    }

    void askForFolder()
    {
        TestDir left, right;
        left.file("l");
        right.file("l");
        Fixture f;
        bool toLeft = true;
        f.core.AskForFolder(toLeft); // cancelled
        QCOMPARE(f.list.count(), 0);
        QCOMPARE(f.host.folderDialogTitles,
                 QStringList{"Bitte geben Sie den Namen des" + QString(QChar(13)) + "zu vergleichenden Ordners an:"});
        f.host.chosenFolder = left.path();
        f.core.AskForFolder(toLeft);
        f.host.chosenFolder = right.path();
        toLeft = false;
        f.core.AskForFolder(toLeft);
        QCOMPARE(f.rows(), QStringList{"l||l"});
        QCOMPARE(f.core.RightPath(), right.path() + '/');
    }

    void unreadableEntriesAreReportedAndSkipped()
    {
        TestDir dir;
        dir.file("a");
        dir.file("b");
        dir.file("c");
        dir.file("d");
        dir.file("sub/e");
        Fixture f;
        f.fs.entryErrors[dir.path("a")] = EACCES;
        f.fs.entryErrors[dir.path("b")] = EACCES;
        f.fs.entryErrors[dir.path("sub")] = EIO;
        f.load(dir.path(), true);
        const QChar cr(13);
        QCOMPARE(f.host.messageTexts(),
                 (QStringList{"Zugriffsfehler 13 auf '" + QString::fromUtf8(dir.path("a")) + "'" + cr +
                                  "Dieser Name wird fortan ignoriert ...",
                              "Zugriffsfehler 13 auf '" + QString::fromUtf8(dir.path("b")) + "'" + cr +
                                  "Dieser Name wird fortan ignoriert ...",
                              "Zugriffsfehler 5 auf '" + QString::fromUtf8(dir.path("sub")) + "'" + cr +
                                  "Dieser Name wird fortan ignoriert ..."}));
        QCOMPARE(f.host.messages[0].icon, Host::Icon::Warning);
        QCOMPARE(f.rows(), (QStringList{"c||", "d||"}));

        // Nothing is remembered: the next load reports what still fails.
        f.host.clearRecords();
        f.fs.entryErrors.clear();
        f.load(dir.path(), true);
        QCOMPARE(f.host.messages.size(), 0);
        QCOMPARE(f.list.count(), 5);
    }

    void folderThatCannotBeListed()
    {
        TestDir dir;
        dir.file("a");
        dir.file("locked/x");
        dir.file("other/y");
        Fixture f;
        f.fs.listErrors[dir.path("locked") + '/'] = EACCES;
        f.load(dir.path(), true);
        QCOMPARE(f.host.messageTexts(), QStringList{"Zugriffsfehler 13 auf '" + QString::fromUtf8(dir.path("locked")) +
                                                    "'" + QChar(13) + "Dieser Name wird fortan ignoriert ..."});
        QCOMPARE(f.rows(), (QStringList{"a||", "other/y||"}));
    }

    void linksAndSockets()
    {
        TestDir dir;
        dir.file("a");
        dir.link("dangling", "nowhere");
        dir.link("to-a", "a");
        const NativePath socketPath = dir.path("sock");
        const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        if (size_t(socketPath.size()) < sizeof(addr.sun_path)) {
            qstrcpy(addr.sun_path, socketPath.constData());
            QCOMPARE(::bind(s, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)), 0);
        }
        Fixture f;
        f.load(dir.path(), true);
        ::close(s);
        // A link to a file is a file; a link to nothing cannot be inspected and is reported.
        QCOMPARE(f.rows(), (QStringList{"a||", "to-a||"}));
        QCOMPARE(f.host.messages.size(), 1);
        QVERIFY(f.host.messages[0].text.startsWith("Zugriffsfehler 2 auf '" + QString::fromUtf8(dir.path("dangling"))));
    }

    void linkLoopsEndTheScan()
    {
        TestDir dir;
        dir.file("a/f");
        dir.link("a/up", "..");
        dir.link("a/self", ".");
        dir.file("b/g");
        dir.link("b/to-a", "../a"); // a sibling, not an ancestor: followed once
        Fixture f;
        f.load(dir.path(), true);
        QCOMPARE(f.rows(), (QStringList{"a/f||", "b/g||", "b/to-a/f||"}));
    }

    void loadRefusedWhileAnotherRuns()
    {
        TestDir left, right, other;
        for (int i = 0; i < 200; ++i) {
            left.file("f" + QByteArray::number(i));
            right.file("f" + QByteArray::number(i));
        }
        other.file("intruder");
        Fixture f;
        f.load(left.path(), true);
        int attempts = 0;
        f.host.onYield = [&] {
            ++attempts;
            NativePath path = other.path();
            bool toLeft = true;
            f.core.LoadFolder(path, toLeft);
            f.core.RunComparison(true);
        };
        f.load(right.path(), false);
        QVERIFY(attempts > 0);
        QCOMPARE(f.list.count(), 200);
        for (int i = 0; i < f.list.count(); ++i)
            QCOMPARE(f.list.row(i).rightName, f.list.row(i).leftName);
        QCOMPARE(f.core.LeftPath(), left.path() + '/');
        QVERIFY(f.host.messages.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestLoadFolder)
#include "tst_loadfolder.moc"

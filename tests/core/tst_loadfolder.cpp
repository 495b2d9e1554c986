#include "corefixture.h"

#include <QTest>

#include <cerrno>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace common;

class TestLoadFolder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pairsByNameWithoutRegardToCase()
    {
        CoreFixture f;
        f.left.file("a.txt", "1", 1046855223);
        f.left.file("Sub/b.txt");
        f.right.file("A.TXT", "2", 1046898423);
        f.right.file("c.txt");
        f.right.file("SUB/B.TXT");
        f.load(f.left.path(), true);
        QCOMPARE(f.rows(), (QStringList{"a.txt||", "Sub/b.txt||"}));
        QCOMPARE(f.list.headerText(0), QString::fromUtf8(f.left.path() + '/'));
        f.load(f.right.path(), false);
        QCOMPARE(f.core.RightPath(), f.right.path() + '/');
        QCOMPARE(f.list.headerText(2), QString::fromUtf8(f.right.path() + '/'));
        QCOMPARE(f.rows(), (QStringList{"||c.txt", "a.txt||A.TXT", "Sub/b.txt||SUB/B.TXT"}));
        QCOMPARE(f.list.row(1).leftStamp, Stamp(20030305090703));
        QCOMPARE(f.list.row(1).rightStamp, Stamp(20030305210703));
        QCOMPARE(f.host.panel1, QString("3 Dateien")); // rows, not the files of the last folder
    }

    void orderOfTheSteps()
    {
        CoreFixture f;
        f.left.file("a");
        f.load(f.left.path(), true);
        QCOMPARE(f.host.events,
                 (QStringList{"compare:off", "busy:on", "panel1:", "panel2:", "progress:25",
                              "panel2:Status: Aufstellung der Dateien im betr. Verzeichnis läuft ...", "yield",
                              "progress:50", "panel2:Status: Eintragung der Dateien in die Vergleichsliste läuft ...",
                              "progress:100", "panel2:Status: Eintragung der Dateien abgeschlossen.", "panel1:1 Datei",
                              "busy:off", "progress:0", "compare:on"}));
    }

    void countPanelAndYields_data()
    {
        QTest::addColumn<int>("files");
        QTest::addColumn<bool>("speed");
        QTest::addColumn<QString>("count");
        QTest::addColumn<int>("yields");
        QTest::newRow("none") << 0 << false << "0 Dateien" << 1;
        QTest::newRow("two") << 2 << false << "2 Dateien" << 1;
        QTest::newRow("every 64th file") << 130 << false << "130 Dateien" << 3;
        QTest::newRow("faster: only the scan yields") << 130 << true << "130 Dateien" << 1;
    }
    void countPanelAndYields()
    {
        QFETCH(int, files);
        QFETCH(bool, speed);
        QFETCH(QString, count);
        QFETCH(int, yields);
        CoreFixture f;
        for (int i = 0; i < files; ++i)
            f.left.file("f" + QByteArray::number(i));
        f.host.speed = speed;
        f.load(f.left.path(), true);
        QCOMPARE(f.host.panel1, count);
        QCOMPARE(f.host.events.count("yield"), yields);
        QCOMPARE(f.host.recorded("progress:").at(2), files ? QString::number(50.0 + 50.0 / files) : "0");
    }

    void scanOrderAndExclusions()
    {
        CoreFixture f;
        for (const char *name : {"x.txt", "S1/f.txt", "S1/T/f.txt", "S2/f.txt", "S2/U/g.txt", "S2/h.txt", ".profile",
                                 ".git/config"})
            f.left.file(name);
        f.left.folder("empty/inner");
        QCOMPARE(::mkfifo(f.left.path("fifo").constData(), 0644), 0); // never opened, never listed
        QCOMPARE(::chmod(f.left.path("x.txt").constData(), 0444), 0);
        f.core.ScanFolder(f.left.path()); // listings come sorted by name
        QStringList found;
        for (const ScannedFile &file : f.core.FileList())
            found << QString::fromUtf8(file.path.mid(f.left.path().size() + 1));
        // A folder's files, then the whole subtree of the subfolder listed last, then the one before it.
        QCOMPARE(found, (QStringList{"x.txt", "S2/f.txt", "S2/h.txt", "S2/U/g.txt", "S1/f.txt", "S1/T/f.txt"}));
        QVERIFY(f.host.messages.isEmpty());

        CoreFixture g; // with a separator at the end, the same paths
        g.core.ScanFolder(f.left.path() + '/');
        QCOMPARE(g.core.FileList().front().path, f.left.path() + "/x.txt");
    }

    void rightLoadsAndLeftLoads()
    {
        CoreFixture f;
        TestDir right2, left2;
        f.left.file("a");
        f.right.file("a");
        f.right.file("only1");
        right2.file("b");
        left2.file("z");
        f.loadBoth();
        for (int i = 0; i < f.list.count(); ++i)
            f.list.setMarker(i, Marker::Skip);
        // A second right folder wipes every right name and marker; the leftover row stays.
        f.load(right2.path(), false);
        QCOMPARE(f.rows(), (QStringList{"||", "||b", "a||"}));
        QCOMPARE(f.host.panel1, QString("3 Dateien"));
        // A left folder starts over.
        f.load(left2.path(), true);
        QCOMPARE(f.rows(), QStringList{"z||"});
        QCOMPARE(f.list.headerText(2), QString("Zweiter Ordner"));
        QCOMPARE(f.core.RightPath(), right2.path() + '/');
    }

    void emptyListForcesLeftColumn()
    {
        CoreFixture f;
        f.left.folder("sub");
        f.right.file("r");
        f.load(f.left.path(), true);
        QCOMPARE(f.host.panel1, QString("0 Dateien"));
        NativePath path = f.right.path();
        bool toLeft = false;
        f.core.LoadFolder(path, toLeft);
        QVERIFY(toLeft);
        QCOMPARE(path, f.right.path() + '/');
        QCOMPARE(f.core.LeftPath(), f.right.path() + '/');
        QCOMPARE(f.rows(), QStringList{"r||"});
    }

    void pairingFollowsTheCurrentOrder()
    {
        CoreFixture f;
        TestDir right2;
        f.left.file("readme", {}, TestDir::DefaultTime + 10);
        f.left.file("README");
        f.right.file("ReadMe");
        f.right.file("rEADME");
        right2.file("x");
        right2.file("X");
        f.load(f.left.path(), true);
        f.list.sort(ComparisonList::LeftStampColumn, Qt::DescendingOrder); // "readme" first
        f.load(f.right.path(), false);
        // Both right files join the first matching row; the one found later wins.
        QCOMPARE(f.rows(), (QStringList{"readme||rEADME", "README||"}));
        f.load(right2.path(), false); // rows without a left name never match
        QCOMPARE(f.list.count(), 4);
    }

    void namesThatAreNotUtf8()
    {
        CoreFixture f;
        f.left.file("caf\xe9.txt");
        f.left.file("caf\xe8.txt");
        f.right.file("CAF\xe9.TXT");
        f.loadBoth();
        QCOMPARE(f.list.row(f.rowOf("caf\xe9.txt")).rightName, NativePath("CAF\xe9.TXT"));
        QCOMPARE(f.list.row(f.rowOf("caf\xe8.txt")).rightName, NativePath());
    }

    void sofortStart_data()
    {
        QTest::addColumn<bool>("checked");
        QTest::addColumn<bool>("batch");
        QTest::addColumn<bool>("binary");
        QTest::addColumn<QStringList>("report");
        QTest::newRow("off") << false << false << true << QStringList();
        QTest::newRow("binary") << true << false << true << QStringList{"Ergebnis des Binärvergleichs von 1 Dateien:"};
        QTest::newRow("age") << true << false << false << QStringList{"Ergebnis des Versionsvergleichs von 1 Dateien:"};
        QTest::newRow("batch") << true << true << true << QStringList();
    }
    void sofortStart()
    {
        QFETCH(bool, checked);
        QFETCH(bool, batch);
        QFETCH(bool, binary);
        QFETCH(QStringList, report);
        CoreFixture f;
        f.left.file("a");
        f.right.file("a");
        f.host.sofortStart = checked;
        f.host.binary = binary;
        f.core.setBatchMode(batch);
        f.load(f.left.path(), false); // the empty list makes it the left column, which never compares
        f.load(f.right.path(), false);
        QCOMPARE(f.host.recorded("message:"), report);
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
        CoreFixture f;
        f.left.file("L/l");
        f.left.file("R/r");
        f.left.folder("wh?");
        f.load(f.left.path("L"), true);
        std::vector<NativePath> dropped;
        for (const QByteArray &p : paths)
            dropped.push_back(f.left.path(p));
        f.core.DropFolder(dropped, 1000);
        f.core.DropFolder({}, 0); // no files in the dragged data: nothing at all
        QCOMPARE(f.host.messageTexts(), QStringList{message});
        QCOMPARE(f.host.messages[0].icon, Host::Icon::None);
        QCOMPARE(f.rows(), QStringList{"l||"});
    }

    void askForFolder()
    {
        CoreFixture f;
        f.left.file("l");
        bool toLeft = true;
        f.core.AskForFolder(toLeft); // cancelled
        QCOMPARE(f.host.events, QStringList{"browse:Bitte geben Sie den Namen des" + QString(QChar(13)) +
                                            "zu vergleichenden Ordners an:"});
        f.host.chosenFolder = f.left.path();
        f.core.AskForFolder(toLeft);
        QCOMPARE(f.rows(), QStringList{"l||"});
    }

    void unreadableEntries()
    {
        CoreFixture f;
        for (const char *name : {"a", "b", "c", "sub/e", "locked/x"})
            f.left.file(name);
        f.fs.entryErrors[f.left.path("a")] = EACCES;
        f.fs.entryErrors[f.left.path("sub")] = EIO;
        f.fs.listErrors[f.left.path("locked") + '/'] = EACCES;
        f.load(f.left.path(), true);
        auto message = [&](int code, const char *name) {
            return QStringLiteral("Zugriffsfehler %1 auf '%2'").arg(code).arg(QString::fromUtf8(f.left.path(name))) +
                   QChar(13) + "Dieser Name wird fortan ignoriert ...";
        };
        QCOMPARE(f.host.messageTexts(), (QStringList{message(13, "a"), message(5, "sub"), message(13, "locked")}));
        QCOMPARE(f.host.messages[0].icon, Host::Icon::Warning);
        QCOMPARE(f.rows(), (QStringList{"b||", "c||"}));
        // Nothing is remembered: the next load inspects everything again.
        f.fs.entryErrors.clear();
        f.fs.listErrors.clear();
        f.load(f.left.path(), true);
        QCOMPARE(f.list.count(), 5);
    }

    void linksAndSockets()
    {
        CoreFixture f;
        f.left.file("a/f");
        f.left.link("a/up", "..");
        f.left.link("a/self", ".");
        f.left.link("b", "a"); // a sibling, not an ancestor: followed once
        f.left.link("to-f", "a/f");
        f.left.link("dangling", "nowhere");
        const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const NativePath socketPath = f.left.path("sock");
        if (size_t(socketPath.size()) < sizeof addr.sun_path) {
            qstrcpy(addr.sun_path, socketPath.constData());
            QCOMPARE(::bind(s, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
        }
        f.load(f.left.path(), true);
        ::close(s);
        QCOMPARE(f.rows(), (QStringList{"a/f||", "b/f||", "to-f||"}));
        QCOMPARE(f.host.messages.size(), 1); // the dangling link cannot be inspected
        QVERIFY(f.host.messages[0].text.startsWith("Zugriffsfehler 2 auf '" + QString::fromUtf8(f.left.path("dangling"))));
    }

    void secondOperationWhileOneRuns()
    {
        CoreFixture f;
        TestDir other;
        for (int i = 0; i < 200; ++i) {
            f.left.file("f" + QByteArray::number(i));
            f.right.file("F" + QByteArray::number(i));
        }
        other.file("intruder");
        f.load(f.left.path(), true);
        int attempts = 0;
        f.host.onYield = [&] {
            ++attempts;
            f.load(other.path(), true);
            f.core.RunComparison(true);
            f.list.sort(ComparisonList::RightNameColumn, Qt::DescendingOrder); // waits for the load's end
        };
        f.load(f.right.path(), false);
        QVERIFY(attempts > 1);
        QCOMPARE(f.list.count(), 200);
        for (int i = 0; i < 200; ++i)
            QCOMPARE(f.list.row(i).rightName.toLower(), f.list.row(i).leftName);
        QCOMPARE(f.list.row(0).rightName, NativePath("F99"));
        QVERIFY(f.host.messages.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestLoadFolder)
#include "tst_loadfolder.moc"

#include "corefixture.h"

#include <QRegularExpression>
#include <QTest>

#include <cerrno>
#include <chrono>
#include <thread>
#include <sys/stat.h>

using namespace common;

class TestLoadFolder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pairing()
    {
        CoreFixture f;
        TestDir right2;
        f.left.file("a.txt", "1", 1046855223);
        f.left.file("Sub/b.txt");
        f.left.file("caf\xe9");
        f.left.file("Zz");
        f.right.file("zZ");
        f.right.file("A.TXT", "2", 1046898423);
        f.right.file("SUB/B.TXT");
        f.right.file("CAF\xe9"); // not UTF-8: paired by its ASCII letters only
        f.right.file("x");
        right2.file("X");
        f.load(f.left.path(), true);
        QCOMPARE(f.list.headerText(0), QString::fromUtf8(f.left.path() + '/'));
        f.load(f.right.path(), false);
        QCOMPARE(f.rows(), (QStringList{"||x", "a.txt||A.TXT", "caf\uFFFD||CAF\uFFFD", "Sub/b.txt||SUB/B.TXT", "Zz||zZ"}));
        QCOMPARE(f.list.headerText(2), QString::fromUtf8(f.right.path() + '/'));
        QCOMPARE(f.list.data(f.list.index(1, ComparisonList::LeftStampColumn)).toString(), QString("2003030509:07:03"));
        QCOMPARE(f.list.data(f.list.index(1, ComparisonList::RightStampColumn)).toString(), QString("2003030521:07:03"));
        QCOMPARE(f.host.panel1, QString("5 Dateien"));
        // A second right folder wipes every right name and marker; rows without a left name never match.
        f.list.setMarker(1, Marker::Skip);
        f.load(right2.path(), false);
        QCOMPARE(f.rows(), (QStringList{"||", "||X", "a.txt||", "caf\uFFFD||", "Sub/b.txt||", "Zz||"}));
        QCOMPARE(f.host.panel1, QString("6 Dateien"));
        // A left folder starts over.
        f.load(right2.path(), true);
        QCOMPARE(f.rows(), QStringList{"X||"});
        QCOMPARE(f.list.headerText(2), QString("Zweiter Ordner"));
    }

    void letterCaseTwins()
    {
        // Exact names pair first; the other twins get rows of their own: none takes another's place.
        CoreFixture f;
        f.left.file("readme");
        f.left.file("README");
        f.right.file("ReadMe");
        f.right.file("rEADME");
        f.right.file("README");
        f.loadBoth();
        QCOMPARE(f.rows(), (QStringList{"||ReadMe", "||rEADME", "readme||", "README||README"}));
        f.core.RunComparison(true);
        QVERIFY(!f.core.lastReport().allEqual);
        QCOMPARE(f.core.lastReport().orphans, 3);
    }

    void stepsAndYields_data()
    {
        QTest::addColumn<int>("files");
        QTest::addColumn<bool>("speed");
        QTest::addColumn<int>("yields");
        QTest::newRow("one file") << 1 << false << 1;
        QTest::newRow("every 64th file") << 130 << false << 3;
        QTest::newRow("faster: only the scan yields") << 130 << true << 1;
    }
    void stepsAndYields()
    {
        QFETCH(int, files);
        QFETCH(bool, speed);
        QFETCH(int, yields);
        CoreFixture f;
        for (int i = 0; i < files; ++i)
            f.left.file("f" + QByteArray::number(i));
        f.host.speed = speed;
        f.load(f.left.path(), true);
        QCOMPARE(f.host.events.count("yield"), yields);
        // 25 % for the scan, 50 % once scanned, then a step a file up to 100 %.
        const QStringList progress = f.host.recorded("progress:");
        QCOMPARE(progress.size(), files + 3);
        QCOMPARE(progress.mid(0, 3) + progress.mid(files + 1),
                 (QStringList{"25", "50", QString::number(50.0 / files + 50), "100", "0"}));
        const QStringList texts = f.host.events.filter(QRegularExpression("^(panel|busy|compare)"));
        QCOMPARE(texts, (QStringList{"compare:off", "busy:on", "panel1:", "panel2:",
                                     "panel2:Status: Aufstellung der Dateien im betr. Verzeichnis läuft ...",
                                     "panel2:Status: Eintragung der Dateien in die Vergleichsliste läuft ...",
                                     "panel2:Status: Eintragung der Dateien abgeschlossen.",
                                     files == 1 ? "panel1:1 Datei" : "panel1:130 Dateien", "busy:off", "compare:on"}));
    }

    void aSlowListingKeepsTheWindowAlive()
    {
        // A folder that takes 200 ms to list, as on a slow mount: the load yields while it waits.
        const auto yieldsOfLoad = [](int delay) {
            CoreFixture f;
            f.left.file("a");
            f.left.file("sub/b");
            f.fs.beforeList = [delay](const NativePath &folder) {
                if (folder.endsWith("/sub/"))
                    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
            };
            f.load(f.left.path(), true);
            return f.host.events.count("yield");
        };
        QVERIFY(yieldsOfLoad(200) >= yieldsOfLoad(0) + 4);
    }

    void listedAheadLoadsTheSame()
    {
        // The right folder listed beside the left one's load gives the rows and messages of a plain load.
        CoreFixture plain, ahead;
        for (CoreFixture *f : {&plain, &ahead}) {
            for (const char *name : {"x.txt", "S1/f.txt", "S1/T/f.txt", "S2/U/g.txt", ".git/config"}) {
                f->left.file(name);
                f->right.file(name);
            }
            f->right.file("S3/deep/er/still/h.txt");
            f->right.link("S1/up", "..");
            f->right.link("S2/to-T", "../S1/T");
            f->fs.fail("entry", f->right.path("S2/U/g.txt"), EACCES);
        }
        plain.load(plain.left.path(), true);
        plain.load(plain.right.path(), false);
        ahead.core.ListAhead(ahead.right.path());
        ahead.load(ahead.left.path(), true);
        ahead.load(ahead.right.path(), false);
        QCOMPARE(ahead.rows(), plain.rows());
        const auto messages = [](CoreFixture &f) {
            QStringList texts;
            for (const FakeHost::Message &m : f.host.messages)
                texts << QString(m.text).replace(QString::fromUtf8(f.right.path()), "R");
            return texts;
        };
        QCOMPARE(messages(ahead).size(), 1);
        QCOMPARE(messages(ahead), messages(plain));
        // A folder listed ahead and then not loaded changes nothing.
        ahead.core.ListAhead(ahead.left.path());
        ahead.load(ahead.right.path(), true);
        plain.load(plain.right.path(), true);
        QCOMPARE(ahead.rows(), plain.rows());
    }

    void scannedFilesPastOneChunk()
    {
        // The scan's list grows in chunks: every file keeps its place, across chunk borders too.
        ScannedFiles files;
        const size_t n = 2 * ScannedFiles::ChunkSize + 3;
        for (size_t i = 0; i < n; ++i)
            files.push_back({QByteArray::number(qulonglong(i)), {}});
        size_t i = 0;
        for (const ScannedFile &file : files)
            QCOMPARE(file.name, QByteArray::number(qulonglong(i++)));
        QCOMPARE(i, n);
        QCOMPARE(files[ScannedFiles::ChunkSize].name, QByteArray::number(qulonglong(ScannedFiles::ChunkSize)));
    }

    void scanOrderAndExclusions()
    {
        CoreFixture f;
        for (const char *name : {"x.txt", "S1/f.txt", "S1/T/f.txt", "S2/f.txt", "S2/U/g.txt", "S2/h.txt", ".profile",
                                 ".git/config"})
            f.left.file(name);
        f.left.folder("empty/inner");
        QCOMPARE(::mkfifo(f.left.path("fifo").constData(), 0644), 0); // never listed, never opened
        f.left.link("a-link", "x.txt");
        f.left.link("S1/up", "..");
        f.left.link("S1/to-T", "T"); // not on its own path: followed
        f.core.ScanFolder(f.left.path() + '/');
        QStringList found;
        for (const ScannedFile &file : f.core.FileList())
            found << QString::fromUtf8(file.name);
        // A folder's files, then the whole subtree of the subfolder listed last, then the one before it.
        QCOMPARE(found, (QStringList{"a-link", "x.txt", "S2/f.txt", "S2/h.txt", "S2/U/g.txt", "S1/f.txt",
                                     "S1/to-T/f.txt", "S1/T/f.txt"}));
        QVERIFY(f.host.messages.isEmpty());
    }

    void emptyFolderAndEmptyList()
    {
        CoreFixture f;
        f.left.folder("sub");
        f.right.file("r");
        f.load(f.left.path(), true);
        QCOMPARE(f.host.panel1, QString("0 Dateien"));
        NativePath path = f.right.path();
        bool toLeft = false;
        f.core.LoadFolder(path, toLeft); // an empty list takes the folder into the left column
        QVERIFY(toLeft);
        QCOMPARE(path, f.right.path() + '/');
        QCOMPARE(f.rows(), QStringList{"r||"});
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

    void dropAndFolderDialog()
    {
        CoreFixture f;
        f.left.file("L/l");
        f.left.file("R/r");
        f.left.folder("wh?");
        bool toLeft = true;
        f.core.AskForFolder(toLeft); // cancelled
        f.host.chosenFolder = f.left.path("L");
        f.core.AskForFolder(toLeft);
        QCOMPARE(f.host.recorded("browse:"), QStringList(2, "Bitte geben Sie den Namen des" + QString(QChar(13)) +
                                                                "zu vergleichenden Ordners an:"));
        QCOMPARE(f.rows(), QStringList{"l||"});
        for (const QByteArrayList &paths : {QByteArrayList{"L", "R"}, {"R/r"}, {"gone"}, {"wh?"}, {}}) {
            std::vector<NativePath> dropped;
            for (const QByteArray &p : paths)
                dropped.push_back(f.left.path(p));
            f.core.DropFolder(dropped, 1000);
        }
        QCOMPARE(f.host.messageTexts(), (QStringList{"Bitte jeweils nur ein einzelnes Verzeichnis in die Liste ziehen!",
                                                     "Bitte nur Verzeichnisse (keine Einzeldateien) in die Liste ziehen!",
                                                     "Bitte nur Verzeichnisse (keine Einzeldateien) in die Liste ziehen!",
                                                     "Dieser Verzeichnisname enthält ungültige Zeichen - bitte "
                                                     "korrigieren!"}));
        QCOMPARE(f.host.messages[0].icon, Host::Icon::None);
        QCOMPARE(f.rows(), QStringList{"l||"});
    }

    void unreadableEntries()
    {
        CoreFixture f;
        for (const char *name : {"a", "b", "sub/e", "locked/x"})
            f.left.file(name);
        f.left.link("dangling", "nowhere");
        f.fs.fail("entry", f.left.path("a"), EACCES);
        f.fs.fail("entry", f.left.path("sub"), EIO);
        f.fs.fail("list", f.left.path("locked") + '/', EACCES);
        f.load(f.left.path(), true);
        auto message = [&](int code, const char *name) {
            return QStringLiteral("Zugriffsfehler %1 auf '%2'").arg(code).arg(QString::fromUtf8(f.left.path(name))) +
                   QChar(13) + "Dieser Name wird fortan ignoriert ...";
        };
        QCOMPARE(f.host.messageTexts(),
                 (QStringList{message(13, "a"), message(2, "dangling"), message(5, "sub"), message(13, "locked")}));
        QCOMPARE(f.host.messages[0].icon, Host::Icon::Warning);
        QCOMPARE(f.rows(), QStringList{"b||"});
        f.fs.faults.clear(); // nothing is remembered: the next load inspects everything again
        f.load(f.left.path(), true);
        QCOMPARE(f.list.count(), 4);
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
        f.host.events.clear();
        int attempts = 0;
        f.host.onYield = [&] {
            ++attempts;
            f.load(other.path(), true);
            f.core.RunComparison(true);
            f.core.RunSynchronisation();
            f.core.ExportListToClipboard(); // a half-paired list is no list to hand on
            f.list.sort(ComparisonList::RightNameColumn, Qt::DescendingOrder); // waits for the load's end
        };
        f.load(f.right.path(), false);
        QVERIFY(attempts > 1);
        QCOMPARE(f.list.count(), 200);
        for (int i = 0; i < 200; ++i)
            QCOMPARE(f.list.row(i).rightName.toLower(), f.list.row(i).leftName);
        QCOMPARE(f.list.row(0).rightName, NativePath("F99"));
        QVERIFY(f.host.messages.isEmpty());
        QCOMPARE(f.host.events.count("clipboard"), 0);
        QCOMPARE(f.host.recorded("busy:"), (QStringList{"on", "off"}));
    }
};

QTEST_GUILESS_MAIN(TestLoadFolder)
#include "tst_loadfolder.moc"

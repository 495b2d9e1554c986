#include "corefixture.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

using namespace common;

// Trees that a careless program would stumble over, end to end on real folders.
class TestHostile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void oddNames()
    {
        POSIX_ONLY(); // names as bytes
        const QByteArrayList names{"tab\there", "line\nfeed", "back\\slash", " blanks ", "caf\xe9",
                                   QByteArray(255, 'n'), QByteArray(120, 'd') + '/' + QByteArray(120, 'e') + "/f"};
        CoreFixture f;
        for (const QByteArray &name : names) {
            f.left.file(name, "same");
            f.right.file(name, "same");
        }
        f.left.file(names[0] + "-new", "copy me", TestDir::DefaultTime + 60);
        f.right.file(names[0] + "-new", "old");
        f.loadBoth();
        f.core.RunComparison(true);
        for (const QByteArray &name : names)
            QCOMPARE(f.markerOf(name), QString("="));
        f.core.RunComparison(false);
        f.core.RunSynchronisation();
        QFile copied(QString::fromUtf8(f.right.path(names[0] + "-new")));
        QVERIFY(copied.open(QIODevice::ReadOnly));
        QCOMPARE(copied.readAll(), QByteArray("copy me"));
        QCOMPARE(f.host.messages.size(), 2); // the two reports only
    }

    void deepPathsNearTheLimit()
    {
        CoreFixture f;
        QByteArray deep;
        while (f.left.path().size() + deep.size() < 3800)
            deep += QByteArray(250, 'p') + '/';
        f.left.file(deep + "f", "x");
        f.loadBoth();
        f.list.setMarker(0, Marker::CopyRight); // the folders on the way are made on the other side
        f.core.RunSynchronisation();
        QVERIFY(f.host.messages.isEmpty());
        QVERIFY(QFile::exists(QString::fromUtf8(f.right.path(deep + "f"))));
    }

    void aFolderOfTwentyThousandFiles()
    {
        CoreFixture f;
        for (int i = 0; i < 20000; ++i)
            f.left.file("f" + QByteArray::number(i));
        f.load(f.left.path(), true);
        QCOMPARE(f.host.panel1, QString("20000 Dateien"));
    }

    // A refusal carries its cause, the number the messages show: no file or folder (2), no file to read (22).
    void errorsCarryTheirCause()
    {
        CoreFixture f;
        f.left.file("sub/doc", "x");
        FileSystem &fs = f.fs;
        int error = 0;
        QVERIFY(!fs.openForReading(f.left.path("sub"), error));
        QCOMPARE(error, EINVAL);
        EntryInfo seen;
        QCOMPARE(fs.inspect(f.left.path("sub"), seen), 0);
        const std::unique_ptr<Folder> sub = fs.openFolder(f.left.path("sub"), seen, error);
        const std::unique_ptr<InputFile> doc = fs.openForReading(f.left.path("sub/doc"), error);
        QVERIFY(sub && doc);
        QVERIFY(QDir(QString::fromUtf8(f.left.path("sub"))).removeRecursively()); // gone under the step
        QVERIFY(!fs.openSubfolder(*sub, "new", nullptr, true, error));
        QCOMPARE(error, ENOENT);
        QCOMPARE(fs.copyInto(*doc, *sub, "copy", nullptr), ENOENT);
    }

    void linksOutAndSpecialFiles()
    {
        CoreFixture f;
        TestDir outside;
        outside.file("o", "x");
        f.left.file("a", "x");
        f.right.file("a", "x");
        f.left.link("out", outside.path()); // a link that leaves the tree is followed
        QCOMPARE(::mkfifo(f.left.path("fifo").constData(), 0644), 0);
        const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (size_t(f.left.path("sock").size()) < sizeof address.sun_path) {
            qstrcpy(address.sun_path, f.left.path("sock").constData());
            QCOMPARE(::bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        }
        const bool device = ::mknod(f.left.path("zero").constData(), S_IFCHR | 0666, makedev(1, 5)) == 0;
        f.loadBoth();
        ::close(s);
        f.core.RunComparison(true); // nothing special is listed, so nothing special is ever opened
        QCOMPARE(f.rows(), (QStringList{"a|=|a", "out/o|?|"}));
        if (!device)
            QWARN("no device node could be made here");
    }

    // Files changed or put in the place of loaded ones before the comparison reads them: compared as they
    // are now; what is no file any more is unreadable, and nothing waits for a FIFO.
    void replacedAfterTheLoad_data()
    {
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<QString>("marker");
        QTest::newRow("grown") << "grown" << ">";
        QTest::newRow("shrunk") << "shrunk" << "<";
        QTest::newRow("other bytes") << "other bytes" << "<>";
        QTest::newRow("a FIFO with a writer") << "fifo, writer" << "!";
        QTest::newRow("a FIFO without one") << "fifo" << "!";
        QTest::newRow("a device") << "device" << "!";
        QTest::newRow("a folder, sizes differed at the load") << "folder" << "!";
    }
    void replacedAfterTheLoad()
    {
        QFETCH(QString, replacement);
        QFETCH(QString, marker);
        CoreFixture f;
        f.left.file("f", "same");
        f.right.file("f", replacement == "folder" ? "longer" : "same");
        f.loadBoth();
        const QByteArray path = f.left.path("f");
        int writer = -1;
        if (replacement == "grown" || replacement == "shrunk" || replacement == "other bytes") {
            f.left.file("f", replacement == "grown" ? "samey" : replacement == "shrunk" ? "sam" : "SAME");
        } else {
            QCOMPARE(::unlink(path.constData()), 0);
            if (replacement == "folder")
                QCOMPARE(::mkdir(path.constData(), 0755), 0);
            else if (replacement == "device" && ::mknod(path.constData(), S_IFCHR | 0666, makedev(1, 5)) != 0)
                QSKIP("no device node can be made here");
            if (replacement.startsWith("fifo"))
                QCOMPARE(::mkfifo(path.constData(), 0644), 0);
            if (replacement == "fifo, writer")
                writer = ::open(path.constData(), O_RDWR | O_NONBLOCK); // holds it open, writes nothing
        }
        f.core.RunComparison(true);
        if (writer >= 0)
            ::close(writer);
        QCOMPARE(f.markerOf("f"), marker);
        QCOMPARE(f.fs.openFiles, 0);
    }

    // Folders swapped for links after the load, to lead a step outside the trees: refused, with a canary
    // outside that no step may write, create or delete.
    void foldersSwappedAfterTheLoad_data()
    {
        QTest::addColumn<int>("marker");
        QTest::addColumn<QString>("swap");
        QTest::newRow("a folder on the way, copy") << int(Marker::CopyRight) << "sub";
        QTest::newRow("a folder on the way, copy into a new folder") << int(Marker::CopyRight) << "sub, new";
        QTest::newRow("a link where the scan saw no folder") << int(Marker::CopyRight) << "new link";
        QTest::newRow("a folder on the way, delete") << int(Marker::DeleteRight) << "sub";
        QTest::newRow("the loaded folder itself, copy") << int(Marker::CopyRight) << "root";
        QTest::newRow("the loaded folder itself, delete") << int(Marker::DeleteRight) << "root";
        QTest::newRow("a followed link led elsewhere") << int(Marker::CopyRight) << "retarget";
        QTest::newRow("a folder swapped for another folder") << int(Marker::DeleteRight) << "other folder";
    }
    void foldersSwappedAfterTheLoad()
    {
        QFETCH(int, marker);
        QFETCH(QString, swap);
        if (swap == "other folder")
            POSIX_ONLY(); // a folder's identity
        CoreFixture f;
        TestDir outside, away, linked;
        const NativePath name = swap == "sub, new" || swap == "new link" ? "sub/new/doc" : "sub/doc";
        f.left.file(name, "left", TestDir::DefaultTime + 60);
        outside.file(name.mid(4), "canary");
        linked.file("doc", "right");
        if (swap == "retarget")
            f.right.link("sub", linked.path()); // followed by the scan: a part of the tree
        else if (swap != "sub, new" && swap != "new link")
            f.right.file(name, "right");
        else
            f.right.folder("sub");
        f.loadBoth();
        f.list.setMarker(f.rowOf(name), Marker(marker));

        const NativePath root = f.right.path();
        if (swap == "root") {
            QCOMPARE(::rename(root.constData(), (away.path() + "/R").constData()), 0);
            QCOMPARE(::symlink(outside.path().constData(), root.constData()), 0);
        } else if (swap == "retarget") {
            f.right.remove("sub");
            f.right.link("sub", outside.path());
        } else if (swap == "new link") {
            outside.folder("empty");
            f.right.link("sub/new", outside.path("empty"));
        } else if (swap == "other folder") {
            QCOMPARE(::rename(f.right.path("sub").constData(), (away.path() + "/sub").constData()), 0);
            f.right.file("sub/doc", "right"); // same name, same content and time: another folder all the same
            ::utimensat(AT_FDCWD, f.right.path("sub/doc").constData(), nullptr, 0);
        } else {
            QCOMPARE(::rename(f.right.path("sub").constData(), (away.path() + "/sub").constData()), 0);
            f.right.link("sub", outside.path());
        }
        const QStringList outsideBefore = QDir(QString::fromUtf8(outside.path())).entryList(QDir::AllEntries | QDir::Hidden);
        f.core.RunSynchronisation();

        QCOMPARE(f.host.messages.size(), 1);
        QVERIFY2(f.host.messages[0].text.contains(
                     "Ein Ordner auf dem Weg zu dieser Datei ist nicht mehr der, der eingelesen wurde."),
                 qPrintable(f.host.messages[0].text));
        QFile canary(QString::fromUtf8(outside.path(name.mid(4))));
        QVERIFY(canary.open(QIODevice::ReadOnly));
        QCOMPARE(canary.readAll(), QByteArray("canary"));
        QCOMPARE(QDir(QString::fromUtf8(outside.path())).entryList(QDir::AllEntries | QDir::Hidden), outsideBefore);
        QVERIFY(!QFile::exists(QString::fromUtf8(outside.path("sub"))));
        QVERIFY(!QFile::exists(QString::fromUtf8(outside.path("empty/doc"))));
    }

    void linksTheScanFollowedStayFollowed()
    {
        CoreFixture f;
        TestDir linked;
        f.left.file("sub/doc", "new", TestDir::DefaultTime + 60);
        linked.file("doc", "old");
        f.right.link("sub", linked.path());
        f.loadBoth();
        f.core.RunComparison(false);
        f.core.RunSynchronisation();
        QFile copied(QString::fromUtf8(linked.path("doc")));
        QVERIFY(copied.open(QIODevice::ReadOnly));
        QCOMPARE(copied.readAll(), QByteArray("new"));
        QCOMPARE(f.host.messages.size(), 1); // the report only
    }

    void letterCaseTwins()
    {
        // Each twin pairs with its own name: the newer left A.TXT replaces the right A.TXT, never a.txt.
        CoreFixture f;
        f.left.file("a.txt", "left a");
        f.left.file("A.TXT", "left A", TestDir::DefaultTime + 60);
        f.right.file("a.txt", "right a");
        f.right.file("A.TXT", "right A");
        f.right.file("B.txt", "one of its name on each side: a pair");
        f.left.file("b.txt", "one of its name on each side: a pair");
        f.loadBoth();
        f.core.RunComparison(false);
        QCOMPARE(f.rows(), (QStringList{"A.TXT|-->|A.TXT", "a.txt|=|a.txt", "b.txt|=|B.txt"}));
        f.core.RunSynchronisation();
        QFile a(QString::fromUtf8(f.right.path("a.txt"))), A(QString::fromUtf8(f.right.path("A.TXT")));
        QVERIFY(a.open(QIODevice::ReadOnly) && A.open(QIODevice::ReadOnly));
        QCOMPARE(a.readAll() + '|' + A.readAll(), QByteArray("right a|left A"));

        // A tree compared with itself is identical, twins and all.
        CoreFixture self;
        self.left.file("x", "1");
        self.left.file("X", "2", TestDir::DefaultTime + 60);
        self.load(self.left.path(), true);
        self.load(self.left.path(), false);
        self.core.RunComparison(false);
        QVERIFY(self.core.lastReport().allEqual);
    }

    void aFolderWhereACopyShouldGo()
    {
        CoreFixture f;
        f.left.file("x", "file");
        f.right.folder("x");
        f.right.file("x/inner", "kept");
        f.loadBoth();
        f.list.setMarker(f.rowOf("x"), Marker::CopyRight);
        f.core.RunSynchronisation();
        QCOMPARE(f.host.messages.size(), 1); // refused, reported, and the folder stays whole
        QVERIFY(QFile::exists(QString::fromUtf8(f.right.path("x/inner"))));
    }
};

QTEST_GUILESS_MAIN(TestHostile)
#include "tst_hostile.moc"

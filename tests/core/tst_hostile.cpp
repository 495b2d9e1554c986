#include "corefixture.h"
#include "posixfilesystem.h"

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>
#include <QTest>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <sys/xattr.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace common;

// Trees that a careless program would stumble over, end to end on real folders.
class TestHostile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Case twins, a link out of the tree (followed by the scan and the steps) and a folder where a copy
    // should go; FIFOs and devices are never listed, and so never opened.
    void aHostileTree()
    {
        CoreFixture f;
        TestDir outside;
        f.right.link("out", outside.path());
        QByteArrayList names{"A.TXT", "out/doc"};
        if (!PortableFileSystemUnderTest()) // names as bytes
            names << "tab\there" << "line\nfeed" << "back\\slash" << " blanks " << "caf\xe9"
                  << QByteArray(255, 'n') << QByteArray(120, 'd') + '/' + QByteArray(130, 'e');
        for (const QByteArray &name : names)
            f.pair(name, "new", "old", TestDir::DefaultTime, TestDir::DefaultTime + 60);
        f.right.file("a.txt", "twin"); // A.TXT's twin: the left A.TXT pairs with its own name only
        f.left.file("x", "a file", TestDir::DefaultTime + 60);
        f.right.file("x/inner", "kept");
        QCOMPARE(::mkfifo(f.right.path("fifo").constData(), 0644), 0);
        ::mknod(f.right.path("zero").constData(), S_IFCHR | 0666, makedev(1, 5)); // where one can be made
        f.loadBoth();
        f.core.RunComparison(false);
        QCOMPARE(f.list.count(), names.size() + 3);
        f.list.setMarker(f.rowOf("x"), Marker::CopyRight);
        f.core.RunSynchronisation();
        QCOMPARE(f.host.messages.size(), 2); // the report, and the copy onto the folder x refused
        const QRegularExpression hostile("^(A.TXT|a.txt|out|x)"); // the names as bytes aside
        QCOMPARE(f.right.contents(true).filter(hostile) + outside.contents(true),
                 (QStringList{"A.TXT:new", "a.txt:twin", "out/", "x/", "x/inner:kept", "doc:new"}));
        // Each copied across and read back.
        f.loadBoth();
        f.core.RunComparison(true);
        QCOMPARE(f.rows().filter("|=|").size(), names.size());
    }

    // Files changed or put in the place of loaded ones before the comparison reads them: compared as they
    // are now; what is no file any more is unreadable, and nothing waits for a FIFO. A refusal carries its
    // cause, the number the messages show: no file to read (22).
    void replacedAfterTheLoad()
    {
        CoreFixture f;
        const QByteArrayList names{"device", "fifo", "fifo, writer", "folder", "grown", "shrunk"};
        // The folder's sizes differed at the load, the others' did not.
        for (const QByteArray &name : names)
            f.pair(name, "same", name == "folder" ? "longer" : "same");
        f.loadBoth();
        f.left.file("grown", "samey");
        f.left.file("shrunk", "sam");
        for (const QByteArray &name : names.mid(0, 4))
            f.left.remove(name);
        QCOMPARE(::mkdir(f.left.path("folder").constData(), 0755), 0);
        // Two FIFOs and a device; where no device node can be made, the file is gone: unreadable all the
        // same.
        for (const char *name : {"fifo", "fifo, writer", "device"})
            ::mknod(f.left.path(name).constData(), (*name == 'd' ? S_IFCHR : S_IFIFO) | 0644, makedev(1, 5));
        // The writer holds the FIFO open and writes nothing.
        const int writer = ::open(f.left.path("fifo, writer").constData(), O_RDWR | O_NONBLOCK);
        f.core.RunComparison(true);
        ::close(writer);
        QCOMPARE(f.rows(), (QStringList{"device|!|device", "fifo|!|fifo", "fifo, writer|!|fifo, writer",
                                        "folder|!|folder", "grown|>|grown", "shrunk|<|shrunk"}));
        QCOMPARE(f.fs.openFiles, 0);

        int error = 0;
        QVERIFY(!f.fs.openForReading(f.left.path("folder"), error));
        QCOMPARE(error, EINVAL);
    }

    // Folders swapped for links after the load, to lead a step outside the trees: refused, and nothing
    // outside is written, made or deleted.
    void foldersSwappedAfterTheLoad_data()
    {
        QTest::addColumn<int>("marker");
        QTest::addColumn<QString>("swap");
        QTest::newRow("a folder on the way, copy") << int(Marker::CopyRight) << "sub";
        QTest::newRow("a link where the scan saw no folder") << int(Marker::CopyRight) << "new link";
        QTest::newRow("a folder on the way, delete") << int(Marker::DeleteRight) << "sub";
        QTest::newRow("the loaded folder itself") << int(Marker::CopyRight) << "root";
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
        const NativePath name = swap == "new link" ? "sub/new/doc" : "sub/doc";
        f.left.file(name, "left", TestDir::DefaultTime + 60);
        outside.file(name.mid(4), "canary");
        linked.file("doc", "right");
        if (swap == "retarget")
            f.right.link("sub", linked.path()); // followed by the scan: a part of the tree
        else
            f.right.file(name == "sub/doc" ? name : "sub/other", "right");
        f.loadBoth();
        f.list.setMarker(f.rowOf(name), Marker(marker));

        // The folder moves away (a link: the link itself), and a link to the outside takes its place.
        const NativePath at = swap == "root" ? f.right.path() : f.right.path(name.chopped(4));
        if (swap != "new link")
            QCOMPARE(::rename(at.constData(), away.path("gone").constData()), 0);
        if (swap == "other folder")
            f.right.file(name, "right"); // the same name, content and time: another folder all the same
        else
            QCOMPARE(::symlink(outside.path().constData(), at.constData()), 0);
        f.core.RunSynchronisation();

        QCOMPARE(f.host.messageTexts().filter("Ordner auf dem Weg zu dieser Datei ist nicht mehr").size(), 1);
        QCOMPARE(outside.contents(), QStringList{name.mid(4) + ":canary"});
    }

    // Trees that reach one folder both: one file would be reached through two rows, so the whole run is
    // refused before its first step, while the comparison goes on as usual. Apart, the same rows are run.
    void treesThatShareAFolder_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<bool>("refused");
        QTest::newRow("left inside right") << "nested" << true;
        QTest::newRow("right inside left") << "nested, swapped" << true;
        QTest::newRow("right links into left") << "link" << true;
        QTest::newRow("both link to a third folder") << "third" << true;
        QTest::newRow("one folder on both sides") << "same" << true;
        QTest::newRow("apart") << "apart" << false;
    }
    void treesThatShareAFolder()
    {
        QFETCH(QString, layout);
        QFETCH(bool, refused);
        CoreFixture f;
        TestDir third;
        NativePath left = f.left.path(), right = f.right.path();
        f.left.file("a", "new", TestDir::DefaultTime + 60);
        f.right.file("a", "old");
        if (layout.startsWith("nested")) {
            f.right.file("sub/a", "new", TestDir::DefaultTime + 60);
            left = f.right.path("sub");
            if (layout.endsWith("swapped"))
                std::swap(left, right);
        } else if (layout == "link") {
            f.right.link("back", f.left.path());
        } else if (layout == "third") {
            third.file("shared", "one file");
            f.left.link("t", third.path());
            f.right.link("t", third.path());
        } else if (layout == "same") {
            right = left;
        }
        f.load(left, true);
        f.load(right, false);
        f.core.RunComparison(false);
        QVERIFY(f.host.messageTexts().filter("Ergebnis des Versionsvergleichs").size() == 1);
        for (int i = 0; i < f.list.count(); ++i)
            f.list.setMarker(i, Marker::DeleteBoth);
        const QStringList before = f.left.contents() + f.right.contents() + third.contents();
        f.host.messages.clear();
        f.core.RunSynchronisation();
        QCOMPARE(f.host.messageTexts().filter("gehört zu beiden Seiten.").size(), refused ? 1 : 0);
        QCOMPARE(f.left.contents() + f.right.contents() + third.contents() == before, refused);
    }

    // A FIFO put in a file's place after the load, with a writer waiting for a reader: neither the binary
    // comparison nor a copy from it opens it, so the writer keeps waiting (its data would be lost).
    void fifoWithAWaitingWriter_data()
    {
        QTest::addColumn<bool>("copy");
        QTest::newRow("binary comparison") << false;
        QTest::newRow("copy from it") << true;
    }
    void fifoWithAWaitingWriter()
    {
        POSIX_ONLY();
        QFETCH(bool, copy);
        CoreFixture f;
        f.pair("a", "new", "old", TestDir::DefaultTime, TestDir::DefaultTime + 60);
        f.loadBoth();
        f.core.RunComparison(false);
        f.left.remove("a");
        QCOMPARE(::mkfifo(f.left.path("a").constData(), 0644), 0);
        std::atomic<bool> through{false};
        std::thread writer([&] {
            const int fd = ::open(f.left.path("a").constData(), O_WRONLY); // waits for a reader
            through = true;
            ::close(fd);
        });
        if (copy)
            f.core.RunSynchronisation();
        else
            f.core.RunComparison(true);
        QTest::qWait(50);
        const bool letThrough = through;
        ::close(::open(f.left.path("a").constData(), O_RDONLY | O_NONBLOCK)); // lets the writer go now
        writer.join();
        QVERIFY(!letThrough);
        QCOMPARE(f.right.contents(), QStringList{"a:old"});
    }

    // A side whose file system keeps times in steps of two seconds (FAT): times less than two seconds apart
    // are equal for the age comparison; elsewhere every second counts.
    void twoSecondTimes_data()
    {
        QTest::addColumn<bool>("fat");
        QTest::addColumn<int>("apart");
        QTest::addColumn<Marker>("marker");
        QTest::newRow("FAT, 1 s apart") << true << 1 << Marker::Equal;
        QTest::newRow("FAT, 2 s apart") << true << 2 << Marker::CopyRight;
        QTest::newRow("elsewhere, 1 s apart") << false << 1 << Marker::CopyRight;
    }
    void twoSecondTimes()
    {
        QFETCH(bool, fat);
        QFETCH(int, apart);
        CoreFixture f;
        f.fs.twoSecondTimes = fat;
        f.pair("a", "x", "y", TestDir::DefaultTime, TestDir::DefaultTime + apart);
        f.loadBoth();
        f.core.RunComparison(false);
        QTEST(f.list.row(0).marker, "marker");
    }

    // One copy of a newer sub/a onto an older one, under what the trees and their file systems do around it:
    // refused with its reason and the target kept, or done; then what the next age comparison says.
    void oneCopy_data()
    {
        QTest::addColumn<QString>("reason"); // empty: the copy is done
        QTest::addColumn<QString>("right");  // the right tree afterwards
        QTest::addColumn<Marker>("next");
        const QString racy("in der Sekunde des Einlesens geändert"), done("sub/ sub/a:new"), kept("sub/ sub/a:old");
        const QString gone("Ordner auf dem Weg zu dieser Datei ist nicht mehr");
        QTest::newRow("target edited, old time put back") << "nach dem Einlesen verändert" << "sub/ sub/a:odd"
                                                          << Marker::CopyRight;
        QTest::newRow("target time in the second of the load") << racy << kept << Marker::CopyRight;
        QTest::newRow("target time in the future") << racy << kept << Marker::CopyRight;
        QTest::newRow("target untouched, older whole second") << "" << done << Marker::Equal;
        QTest::newRow("folder deleted after the comparison") << gone << "" << Marker::OrphanLeft;
        QTest::newRow("folder moved out during the copy") << gone << "" << Marker::OrphanLeft;
        QTest::newRow("no owners or modes (EPERM)") << "" << done << Marker::Equal;
        QTest::newRow("no owners or modes (ENOSYS)") << "" << done << Marker::Equal;
        QTest::newRow("a time of its own at the close") << "" << done << Marker::Equal;
        QTest::newRow("a time of its own that stays") << "behält die Änderungszeit der Kopie nicht" << kept
                                                      << Marker::CopyRight;
        QTest::newRow("run as root") << "" << done << Marker::Equal;
    }
    void oneCopy()
    {
        QFETCH(QString, reason);
        const QByteArray what = QTest::currentDataTag();
        if (what.contains("time of its own") || what == "run as root")
            POSIX_ONLY();
        if (what == "run as root" && ::geteuid() != 0)
            QSKIP("needs root");
        CoreFixture f;
        TestDir outside;
        // The load must fall in the second the file's time is taken from, not in the next one.
        while (what.endsWith("the load") && QDateTime::currentMSecsSinceEpoch() % 1000 > 600)
            QTest::qWait(20);
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        const qint64 time = what.endsWith("the load") ? now : what.endsWith("future") ? now + 3600 : TestDir::DefaultTime;
        f.pair("sub/a", "new", "old", time, time + 7200);
        const NativePath source = f.left.path("sub/a");
        // Run as root, the copy keeps owner, group, set-ID bits and user attributes.
        const bool root = what == "run as root", attribute = root && ::setxattr(source, "user.origin", "cam", 3, 0) == 0;
        QVERIFY(!root || (::chown(source, 65534, 65534) == 0 && ::chmod(source, 06755) == 0));
        f.loadBoth();
        f.core.RunComparison(false);
        if (what.startsWith("target edited")) {
            QTest::qWait(10); // a change time of its own, also where the clock is coarse
            f.right.file("sub/a", "odd", time);
        } else if (what.startsWith("folder deleted")) {
            QDir(f.right.path("sub")).removeRecursively();
        } else if (what.startsWith("folder moved")) {
            f.fs.beforeRead = [&](const NativePath &) { ::rename(f.right.path("sub"), outside.path("sub")); };
        }
        const int noOwners = what.contains("EPERM") ? EPERM : what.contains("ENOSYS") ? ENOSYS : 0;
        posix::copyHooks() = {noOwners, what.contains("time of its own") ? now : 0, what.endsWith("stays"), false, false, {}, {}};
        f.core.RunSynchronisation();
        posix::copyHooks() = {};
        QCOMPARE(f.host.messageTexts().filter("Abgleichsfehler").filter(reason).size(), reason.isEmpty() ? 0 : 1);
        QTEST(f.right.contents(true).join(' '), "right");
        QCOMPARE(outside.contents(), what.startsWith("folder moved") ? QStringList{"sub/a:old"} : QStringList());
        struct stat st;
        char value[8];
        QVERIFY(!root || (::stat(f.right.path("sub/a"), &st) == 0 && st.st_uid == 65534 && st.st_gid == 65534 &&
                          (st.st_mode & 07777) == 06755));
        QVERIFY(!attribute || ::getxattr(f.right.path("sub/a"), "user.origin", value, sizeof value) == 3);
        f.loadBoth();
        f.core.RunComparison(false);
        QTEST(f.list.row(0).marker, "next");
    }
};

QTEST_GUILESS_MAIN(TestHostile)
#include "tst_hostile.moc"

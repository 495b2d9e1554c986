#include "corefixture.h"

#include <QFile>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace common;

class TestSynchronisation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Every marker's step, from the bottom row up. A proposal is not carried out; a step without a file on
    // its side is refused and asks nothing of the loaded folder itself.
    void everyMarkersAction()
    {
        CoreFixture f;
        for (const char *name : {"to-right", "to-left", "del-right", "del-left", "del-both", "skip"})
            f.pair(name, "l", "r", TestDir::DefaultTime + 60, TestDir::DefaultTime - 7);
        f.left.file("sub/deep/only-left", "L"); // its folders are made on the way
        f.left.file("proposal", "P");
        f.left.file("no-right-delete", "L"); // a refused row amid done ones
        for (const char *name : {"only-right/r", "no-left-delete", "no-left-copy"})
            f.right.file(name, "R");
        QFile::setPermissions(QString::fromUtf8(f.left.path("to-right")), QFile::ReadOwner | QFile::ExeOwner);
        f.loadBoth();
        const QHash<QByteArray, Marker> markers{
            {"to-right", Marker::CopyRight}, {"to-left", Marker::CopyLeft}, {"skip", Marker::Skip},
            {"del-right", Marker::DeleteRight}, {"del-left", Marker::DeleteLeft},
            {"del-both", Marker::DeleteBoth}, {"proposal", Marker::OrphanLeft},
            {"sub/deep/only-left", Marker::CopyRight}, {"only-right/r", Marker::CopyLeft},
            {"no-left-delete", Marker::DeleteLeft}, {"no-left-copy", Marker::CopyRight},
            {"no-right-delete", Marker::DeleteRight}};
        for (int i = 0; i < f.list.count(); ++i) // by the row's name: the other is the same or empty
            f.list.setMarker(i, markers.value(std::max(f.list.row(i).leftName, f.list.row(i).rightName)));
        f.core.RunSynchronisation();

        QCOMPARE(f.left.contents(), QString("del-right:l no-right-delete:L only-right/r:R proposal:P skip:l "
                                            "sub/deep/only-left:L to-left:r to-right:l").split(' '));
        QCOMPARE(f.right.contents(), QString("del-left:r no-left-copy:R no-left-delete:R only-right/r:R "
                                             "skip:r sub/deep/only-left:L to-left:r to-right:l").split(' '));
        QCOMPARE(f.fs.changes.filter("delete ").size(), 4);
        QCOMPARE(f.rows(), (QStringList{"|-->|no-left-copy", "|<-X|no-left-delete", "no-right-delete|X->|"}));
        if (!PortableFileSystemUnderTest()) // a POSIX mode
            QVERIFY(QFile::permissions(QString::fromUtf8(f.right.path("to-right"))).testFlag(QFile::ExeOwner));
        QCOMPARE(f.host.messageTexts().filter("\rIn dieser Zeile gibt es links keine Datei.\r").size(), 2);
        QCOMPARE(f.host.messageTexts().filter("''"), QStringList()); // no file to name, no empty quotes

        // The copies carry the time over: a new age comparison finds the pairs equal.
        f.loadBoth();
        f.core.RunComparison(false);
        QCOMPARE(f.rows().filter("|=|"), QString("only-right/r|=|only-right/r sub/deep/only-left|=|"
                                                 "sub/deep/only-left to-left|=|to-left to-right|=|to-right")
                                             .split(' '));
    }

    // A refused step is asked about: Retry tries it again, Ignore keeps its row and goes on (to the right
    // file of XX too), Abort keeps its row and every row above it.
    void answers()
    {
        CoreFixture f;
        for (const char *name : {"a", "b", "c", "d", "e"})
            f.pair(name, "l", "r");
        f.loadBoth();
        for (int i = 0; i < 5; ++i)
            f.list.setMarker(i, i == 1 || i == 2 ? Marker::DeleteBoth : Marker::DeleteRight);
        for (const NativePath &path : {f.left.path("b"), f.left.path("c"), f.right.path("d")})
            f.fs.fail("delete", path, EACCES);
        // d can be deleted once the user has answered for it.
        f.host.onMessage = [&] { f.fs.faults.remove("delete:" + QString::fromUtf8(f.right.path("d"))); };
        f.host.answers = {Host::Answer::Retry, Host::Answer::Ignore, Host::Answer::Abort};
        f.core.RunSynchronisation();

        QCOMPARE((f.left.contents() + f.right.contents()).join(' '), QString("a:l b:l c:l d:l e:l a:r b:r"));
        QCOMPARE(f.rows(), (QStringList{"a|X->|a", "b|XX|b", "c|XX|c"}));
        QStringList refused; // bottom up
        for (const NativePath &path : {f.right.path("d"), f.left.path("c"), f.left.path("b")})
            refused << "Abgleichsfehler:\r\rDie Datei '" + QString::fromUtf8(path) +
                           "'\rkonnte nicht gelöscht werden.\r\rBitte quittieren oder abbrechen";
        QCOMPARE(f.host.messageTexts(), refused);
        QCOMPARE(f.host.events.last(), QString("compare:on")); // the epilogue runs after Abort too
    }

    // A copy cut short by a full disk or by an ending signal leaves the old target whole.
    void interruptedCopyKeepsTheOldTarget_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("full disk") << 0;
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void interruptedCopyKeepsTheOldTarget()
    {
        QFETCH(int, signal);
        if (signal)
            POSIX_ONLY(); // an ending signal, and a temporary file of its own
        CoreFixture f;
        f.left.file("big", QByteArray(600000, 'n'));
        f.right.file("big", "the old content");
        f.loadBoth();
        f.list.setMarker(0, Marker::CopyRight);
        if (!signal) {
            // No file of this process may grow beyond 100,000 bytes: the copy meets a full disk half-way.
            // The write fails instead of ending the process; once the limit is lifted the signal cannot come.
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit old;
            ::getrlimit(RLIMIT_FSIZE, &old);
            const rlimit limit{100000, old.rlim_max};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            f.core.RunSynchronisation();
            ::setrlimit(RLIMIT_FSIZE, &old);
            QCOMPARE(f.host.messages.size(), 1);
            QVERIFY(f.host.messages[0].text.contains("nach '" + QString::fromUtf8(f.right.path("big")) +
                                                     "'"));
        } else {
            const pid_t child = ::fork();
            if (child == 0) {
                std::signal(signal, SIG_DFL); // as in a program, without the test framework's handler
                // The signal comes while the temporary file is written, in a child that does nothing else.
                f.fs.beforeRead = [&](const NativePath &) {
                    if (f.right.contents().size() > 1)
                        ::raise(signal);
                };
                f.core.RunSynchronisation();
                ::_exit(0);
            }
            int status = 0;
            QCOMPARE(::waitpid(child, &status, 0), child);
            QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == signal, strsignal(signal));
        }
        QCOMPARE(f.right.contents(), QStringList{"big:the old content"});
    }

    // A step acts on the file the row showed or on nothing: any change since the load, or during the copy,
    // refuses it with its reason and leaves every file as it was.
    void refusedWhenTheDiskChanged_data()
    {
        QTest::addColumn<int>("marker");
        QTest::addColumn<QString>("line");
        const QString changed = "Die Datei wurde nach dem Einlesen verändert.";
        const QString copying = "Die Datei wurde während des Kopierens verändert.";
        // Named by the file and its change: "while copied" during the copy, all else before the step.
        QTest::newRow("target rewritten within its second") << int(Marker::CopyRight) << changed;
        QTest::newRow("target grown") << int(Marker::DeleteRight) << changed;
        QTest::newRow("target replaced, same size and time") << int(Marker::DeleteRight) << changed;
        QTest::newRow("target replaced by a link") << int(Marker::CopyRight) << changed;
        QTest::newRow("source replaced by an older file") << int(Marker::CopyRight) << changed;
        QTest::newRow("source replaced, same size and time") << int(Marker::CopyRight) << changed;
        QTest::newRow("source grows while copied") << int(Marker::CopyRight) << copying;
        QTest::newRow("source rewritten within its second while copied") << int(Marker::CopyRight) << copying;
        QTest::newRow("target rewritten while copied") << int(Marker::CopyRight) << changed;
        const QString appeared = "Dort steht inzwischen eine Datei, die beim Einlesen noch nicht da war.";
        QTest::newRow("target appears") << int(Marker::CopyRight) << appeared;
    }
    void refusedWhenTheDiskChanged()
    {
        QFETCH(int, marker);
        QFETCH(QString, line);
        const QString change = QTest::currentDataTag();
        if (change.contains("within its second") || change.endsWith("same size and time"))
            POSIX_ONLY(); // nanoseconds and inode numbers
        CoreFixture f;
        const qint64 t = TestDir::DefaultTime;
        f.left.file("doc", "left new", t + 60);
        if (change != "target appears")
            f.right.file("doc", "right old", t);
        f.loadBoth();
        f.list.setMarker(0, Marker(marker));

        if (change == "target rewritten within its second")
            f.right.file("doc", "RIGHT OLD", t, 500);
        else if (change == "target grown")
            f.right.file("doc", "right older", t);
        else if (change == "target replaced, same size and time") { // a new file in its place: another inode
            f.right.file("new", "right old", t);
            QCOMPARE(::rename(f.right.path("new").constData(), f.right.path("doc").constData()), 0);
        } else if (change == "target replaced by a link") // to the very file the load saw: only the link tells
            QVERIFY(QFile::rename(f.right.path("doc"), f.right.path("old")) &&
                    QFile::link(f.right.path("old"), f.right.path("doc")));
        else if (change == "source replaced by an older file")
            f.left.file("doc", "left old", t - 3600);
        else if (change == "source replaced, same size and time") {
            f.left.file("new", "left new", t + 60);
            QCOMPARE(::rename(f.left.path("new").constData(), f.left.path("doc").constData()), 0);
        } else if (change == "target appears")
            f.right.file("doc", "the user's file", t + 3600);
        QStringList expected = f.left.contents() + f.right.contents();
        f.fs.beforeRead = [&](const NativePath &) {
            if (change == "source grows while copied")
                f.left.file("doc", "left new and more", t + 60);
            else if (change == "source rewritten within its second while copied")
                f.left.file("doc", "LEFT NEW", t + 60, 500);
            else if (change == "target rewritten while copied")
                f.right.file("doc", "the user's newest edit", t + 3600);
            // As the user left it, without the copy's temporary file (empty yet): no step may alter it.
            expected = f.left.contents() + f.right.contents();
            expected.removeIf([](const QString &entry) { return entry.endsWith(':'); });
        };
        f.core.RunSynchronisation();

        QCOMPARE(f.host.messages.size(), 1);
        QVERIFY2(f.host.messages[0].text.contains('\r' + line + "\r\r"), qPrintable(f.host.messages[0].text));
        QCOMPARE(f.left.contents() + f.right.contents(), expected);
    }

    // The identity rule itself, for what a real disk cannot show alone: nanoseconds changed, or a link put
    // in a file's place, under the same change time; inode numbers made up; a change time not told.
    void identity_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("inodesKept");
        QTest::addColumn<bool>("same");
        QTest::newRow("the same inode number on another disk") << "device" << true << false;
        QTest::newRow("another disk where inodes are made up") << "device" << false << true;
        QTest::newRow("nanoseconds of the time") << "ns" << true << false;
        QTest::newRow("the change time") << "ctime" << true << false;
        QTest::newRow("a change time not known") << "unknown ctime" << true << true;
        QTest::newRow("a folder made anew with the old number") << "born" << true << false;
        QTest::newRow("a link to the very file seen") << "link" << true << false;
    }
    void identity()
    {
        QFETCH(QString, change);
        QFETCH(bool, inodesKept);
        EntryInfo seen;
        seen.kind = EntryKind::File;
        seen.changeTag = ChangeTag(TestDir::DefaultTime, 0);
        EntryInfo now = seen;
        if (change == "device")
            now.device = 2;
        else if (change == "ns")
            now.modifiedNs = 1;
        else if (change == "ctime")
            now.changeTag = ChangeTag(TestDir::DefaultTime, 1);
        else if (change == "link")
            now.link = true;
        else if (change == "born")
            seen.kind = now.kind = EntryKind::Folder, seen.born = 1, now.born = 2;
        else
            now.changeTag = 0;
        QTEST(SameEntry(now, seen, inodesKept), "same");
    }

    // Targets that take nothing: no right folder once a new left folder has made the right one forgotten
    // (the same folder on both sides: treesThatShareAFolder), and a clipboard that refuses the list.
    void noProperTarget()
    {
        CoreFixture f;
        f.load(f.left.path(), true);
        f.load(f.left.path(), false);
        // A copy to the right has nowhere to go: neither the old right folder nor any other is asked for.
        f.right.file("sub/b", "x");
        f.load(f.right.path(), true);
        f.list.setMarker(0, Marker::CopyRight);
        f.core.RunSynchronisation();
        QCOMPARE(f.fs.changes, QStringList());
        QCOMPARE(f.host.messageTexts().filter("Für die rechte Spalte ist kein Ordner geladen.").size(), 1);

        f.host.clipboardWorks = false;
        f.core.ExportListToClipboard();
        const QString lost = "Die Liste konnte nicht in die Zwischenablage kopiert werden.";
        QCOMPARE(f.host.events.filter(lost), (QStringList{"panel2:Status: " + lost, "message:" + lost}));
    }
};

QTEST_GUILESS_MAIN(TestSynchronisation)
#include "tst_synchronisation.moc"

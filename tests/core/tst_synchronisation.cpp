#include "corefixture.h"

#include <QDirIterator>
#include <QFile>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace common;

namespace {

const QString Cr(CR); // as text, for sums of literals

QByteArray contentOf(const NativePath &path)
{
    QFile f(QString::fromUtf8(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

qint64 modifiedOf(const NativePath &path)
{
    struct stat st;
    return ::stat(path.constData(), &st) == 0 ? st.st_mtime : -1;
}

bool hasTemporaryFiles(const TestDir &dir)
{
    QDirIterator it(QString::fromUtf8(dir.path()), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        if (it.next().contains(QLatin1String(TemporaryPrefix)))
            return true;
    return false;
}

QString failure(const QString &detail)
{
    return "Abgleichsfehler:" + Cr + Cr + detail + Cr + Cr + "Bitte quittieren oder abbrechen";
}

void setModified(const NativePath &path, qint64 seconds, long nanoseconds = 0)
{
    const timespec times[2] = {{time_t(seconds), nanoseconds}, {time_t(seconds), nanoseconds}};
    QCOMPARE(::utimensat(AT_FDCWD, path.constData(), times, AT_SYMLINK_NOFOLLOW), 0);
}

// Puts a new file in the place of path (a new inode), with content and time.
void replaceFile(const NativePath &path, const QByteArray &content, qint64 seconds)
{
    const NativePath fresh = path + ".new";
    QFile f(QString::fromUtf8(fresh));
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(content) == content.size());
    f.close();
    setModified(fresh, seconds);
    QCOMPARE(::rename(fresh.constData(), path.constData()), 0);
}

} // namespace

class TestSynchronisation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyMarkersAction()
    {
        CoreFixture f;
        f.left.file("to-right", "neu links", TestDir::DefaultTime + 60);
        f.right.file("to-right", "alt");
        f.left.file("to-left", "alt");
        f.right.file("to-left", "neu rechts", TestDir::DefaultTime + 60);
        f.left.file("sub/deep/only-left", "L", TestDir::DefaultTime - 7);
        f.right.file("only-right/r", "R");
        for (const char *name : {"del-right", "del-left", "del-both", "skip"}) {
            f.left.file(name, "l");
            f.right.file(name, "r");
        }
        f.loadBoth();
        f.core.RunComparison(false);
        const QList<QPair<QByteArray, Marker>> marks{{"sub/deep/only-left", Marker::CopyRight},
                                                      {"", Marker::CopyLeft},
                                                      {"del-right", Marker::DeleteRight},
                                                      {"del-left", Marker::DeleteLeft},
                                                      {"del-both", Marker::DeleteBoth},
                                                      {"skip", Marker::Skip}};
        for (const auto &[name, marker] : marks)
            f.list.setMarker(f.rowOf(name), marker);
        f.host.events.clear();
        f.host.messages.clear();

        f.core.RunSynchronisation();

        QCOMPARE(contentOf(f.right.path("to-right")), QByteArray("neu links"));
        QCOMPARE(contentOf(f.left.path("to-left")), QByteArray("neu rechts"));
        QCOMPARE(contentOf(f.right.path("sub/deep/only-left")), QByteArray("L")); // folders made on the way
        QCOMPARE(modifiedOf(f.right.path("sub/deep/only-left")), TestDir::DefaultTime - 7);
        QCOMPARE(contentOf(f.left.path("only-right/r")), QByteArray("R"));
        QCOMPARE(contentOf(f.left.path("del-right")) + contentOf(f.right.path("del-right")), QByteArray("l(missing)"));
        QCOMPARE(contentOf(f.left.path("del-left")) + contentOf(f.right.path("del-left")), QByteArray("(missing)r"));
        QCOMPARE(contentOf(f.left.path("del-both")) + contentOf(f.right.path("del-both")),
                 QByteArray("(missing)(missing)"));
        QCOMPARE(contentOf(f.right.path("skip")), QByteArray("r"));
        QCOMPARE(f.list.count(), 0); // every row dealt with, whatever its marker
        QVERIFY(f.host.messages.isEmpty());
        QVERIFY(!hasTemporaryFiles(f.left) && !hasTemporaryFiles(f.right));
        QCOMPARE(f.host.recorded("panel2:"), (QStringList{"Status: Datenabgleich läuft ...", "Status: Datenabgleich beendet."}));
        QCOMPARE(f.host.events.count("yield"), 8);

        // The copies carry the time over: a new age comparison finds the pairs equal.
        f.loadBoth();
        f.core.RunComparison(false);
        QCOMPARE(f.markerOf("to-right") + f.markerOf("only-right/r"), QString("=="));
    }

    void proposalsAreNotCarriedOut()
    {
        CoreFixture f;
        f.left.file("only-left");
        f.right.file("only-right");
        f.loadBoth();
        f.core.RunComparison(false);
        f.core.RunSynchronisation();
        QCOMPARE(f.list.count(), 0);
        QVERIFY(f.fs.changes.isEmpty());
    }

    void answers_data()
    {
        QTest::addColumn<int>("marker");
        QTest::addColumn<QStringList>("failing"); // "left" / "right": deletions refused until the first answer
        QTest::addColumn<QList<Host::Answer>>("answers");
        QTest::addColumn<QString>("disk");
        QTest::addColumn<int>("rows");
        using A = Host::Answer;
        QTest::newRow("XX, Ignore on the left") << int(Marker::DeleteBoth) << QStringList{"left"} << QList<A>{A::Ignore}
                                                << "l(missing)" << 1;
        QTest::newRow("Retry once it is deletable") << int(Marker::DeleteRight) << QStringList{"right"}
                                                    << QList<A>{A::Retry} << "l(missing)" << 0;
        QTest::newRow("XX, Ignore then Retry") << int(Marker::DeleteBoth) << QStringList{"left", "right"}
                                               << QList<A>{A::Ignore, A::Retry} << "l(missing)" << 0;
        QTest::newRow("Abort") << int(Marker::DeleteBoth) << QStringList{"left"} << QList<A>{A::Abort} << "lr" << 1;
    }
    void answers()
    {
        QFETCH(int, marker);
        QFETCH(QStringList, failing);
        QFETCH(QList<Host::Answer>, answers);
        QFETCH(QString, disk);
        QFETCH(int, rows);
        CoreFixture f;
        f.left.file("x", "l");
        f.right.file("x", "r");
        f.loadBoth();
        f.list.setMarker(0, Marker(marker));
        for (const QString &side : failing)
            f.fs.fail("delete", (side == "left" ? f.left : f.right).path("x"), EPERM);
        f.host.answers = answers;
        // A refused deletion becomes possible once the user has answered for it.
        f.host.onMessage = [&] {
            if (f.host.messages.size() == 2 || answers.first() == Host::Answer::Retry)
                f.fs.faults.remove("delete:" + QString::fromUtf8(f.right.path("x")));
        };
        f.core.RunSynchronisation();
        QCOMPARE(f.host.messages.size(), answers.size());
        const NativePath refused = (failing[0] == "left" ? f.left : f.right).path("x");
        QCOMPARE(f.host.messages[0].text,
                 failure("Die Datei '" + QString::fromUtf8(refused) + "'" + Cr + "konnte nicht gelöscht werden."));
        QCOMPARE(f.host.messages[0].icon, Host::Icon::Critical);
        QCOMPARE(f.host.messages[0].buttons, Host::Buttons::AbortRetryIgnore);
        QCOMPARE(QString(contentOf(f.left.path("x")) + contentOf(f.right.path("x"))), disk);
        QCOMPARE(f.list.count(), rows);
    }

    void abortOnTheThirdRowOfTen()
    {
        CoreFixture f;
        for (int i = 0; i < 10; ++i) {
            f.left.file("f" + QByteArray::number(i));
            f.right.file("f" + QByteArray::number(i));
        }
        f.loadBoth();
        for (int i = 0; i < 10; ++i)
            f.list.setMarker(i, Marker::DeleteRight);
        f.fs.fail("delete", f.right.path("f7"), EACCES); // the third row visited from the bottom
        f.host.answers = {Host::Answer::Abort};
        f.core.RunSynchronisation();
        QCOMPARE(f.list.count(), 8);
        QCOMPARE(f.markerOf("f7"), QString("X->"));
        QCOMPARE(contentOf(f.right.path("f9")) + contentOf(f.right.path("f7")), QByteArray("(missing)"));
        QCOMPARE(f.host.events.mid(f.host.events.size() - 3),
                 (QStringList{"progress:0", "panel2:Status: Datenabgleich beendet.", "compare:on"}));
    }

    void fullDiskKeepsTheOldTarget()
    {
        CoreFixture f;
        f.left.file("big", QByteArray(300000, 'n'), TestDir::DefaultTime + 60);
        f.right.file("big", "the old content");
        f.loadBoth();
        f.core.RunComparison(false);
        f.host.messages.clear();
        // No file of this process may grow beyond 100,000 bytes: the copy meets a full disk half-way.
        rlimit old;
        ::getrlimit(RLIMIT_FSIZE, &old);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old;
        limit.rlim_cur = 100000;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        f.core.RunSynchronisation();
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        QCOMPARE(contentOf(f.right.path("big")), QByteArray("the old content"));
        QVERIFY(!hasTemporaryFiles(f.right));
        QCOMPARE(f.host.messageTexts(), QStringList{failure("Die Datei '" + QString::fromUtf8(f.left.path("big")) + "'" +
                                                            Cr + "konnte nicht nach '" +
                                                            QString::fromUtf8(f.right.path("big")) + "'" + Cr +
                                                            "kopiert werden.")});
        QCOMPARE(f.list.count(), 1);
    }

    // A step acts on the file the row showed or on nothing: any change since the load, or during the copy,
    // refuses it with its reason and leaves every file as it was.
    void refusedWhenTheDiskChanged_data()
    {
        QTest::addColumn<int>("marker");
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("line");
        const QString changed = "Die Datei wurde nach dem Einlesen verändert.";
        QTest::newRow("target rewritten within its second") << int(Marker::CopyRight) << "target ns" << changed;
        QTest::newRow("deleted target rewritten within its second") << int(Marker::DeleteRight) << "target ns" << changed;
        QTest::newRow("target grown within its second") << int(Marker::DeleteRight) << "target size" << changed;
        QTest::newRow("target replaced, same size and time") << int(Marker::DeleteRight) << "target inode" << changed;
        QTest::newRow("target replaced by a link") << int(Marker::CopyRight) << "target link" << changed;
        QTest::newRow("source replaced by an older file") << int(Marker::CopyRight) << "source older" << changed;
        QTest::newRow("source replaced, same size and time") << int(Marker::CopyRight) << "source inode" << changed;
        QTest::newRow("source grows while it is copied")
            << int(Marker::CopyRight) << "source grows" << "Die Datei wurde während des Kopierens verändert.";
        QTest::newRow("source rewritten within its second while it is copied")
            << int(Marker::CopyRight) << "source ns, copying" << "Die Datei wurde während des Kopierens verändert.";
        QTest::newRow("target rewritten while the copy runs") << int(Marker::CopyRight) << "target edited" << changed;
        QTest::newRow("a file where the load saw none")
            << int(Marker::CopyRight) << "target appears" << "Dort steht inzwischen eine Datei, die beim Einlesen noch nicht da war.";
    }
    void refusedWhenTheDiskChanged()
    {
        QFETCH(int, marker);
        QFETCH(QString, change);
        QFETCH(QString, line);
        if (change.contains(" ns") || change.endsWith(" inode"))
            POSIX_ONLY(); // nanoseconds and inode numbers
        CoreFixture f;
        TestDir outside;
        const qint64 t = TestDir::DefaultTime;
        f.left.file("doc", "left new", t + 60);
        if (change != "target appears")
            f.right.file("doc", "right old", t);
        outside.file("canary", "outside the trees");
        f.loadBoth();
        f.list.setMarker(0, Marker(marker));

        const NativePath left = f.left.path("doc"), right = f.right.path("doc");
        if (change == "target ns")
            f.right.file("doc", "RIGHT OLD", t), setModified(right, t, 500);
        else if (change == "target size")
            f.right.file("doc", "right older", t);
        else if (change == "target inode")
            replaceFile(right, "RIGHT OLD", t);
        else if (change == "target link")
            f.right.remove("doc"), f.right.link("doc", outside.path("canary"));
        else if (change == "source older")
            replaceFile(left, "left old", t - 3600);
        else if (change == "source inode")
            replaceFile(left, "left new", t + 60);
        else if (change == "target appears")
            f.right.file("doc", "the user's file", t + 3600);
        f.fs.beforeRead = [&](const NativePath &) {
            if (change == "source grows")
                f.left.file("doc", "left new and more", t + 60);
            else if (change == "source ns, copying")
                f.left.file("doc", "LEFT NEW", t + 60), setModified(left, t + 60, 500);
            else if (change == "target edited")
                f.right.file("doc", "the user's newest edit", t + 3600);
        };
        const QByteArray rightBefore = contentOf(right), leftBefore = contentOf(left);
        f.core.RunSynchronisation();

        QCOMPARE(f.host.messages.size(), 1);
        QVERIFY2(f.host.messages[0].text.contains(Cr + line + Cr + Cr), qPrintable(f.host.messages[0].text));
        QCOMPARE(contentOf(right), change == "target edited" ? QByteArray("the user's newest edit") : rightBefore);
        if (!change.startsWith("source") || change.contains("inode") || change.contains("older"))
            QCOMPARE(contentOf(left), leftBefore);
        QCOMPARE(contentOf(outside.path("canary")), QByteArray("outside the trees"));
        QVERIFY(!hasTemporaryFiles(f.left) && !hasTemporaryFiles(f.right));
        QCOMPARE(f.list.count(), 1); // Ignore keeps the row
    }

    void identityIsDeviceAndInode()
    {
        EntryInfo seen;
        seen.kind = EntryKind::File;
        seen.device = 1;
        seen.inode = 7;
        EntryInfo now = seen;
        QVERIFY(SameEntry(now, seen, true));
        now.device = 2; // the same inode number on another disk
        QVERIFY(!SameEntry(now, seen, true) && SameEntry(now, seen, false));
    }

    void noFolderNoAction()
    {
        // Only a left folder is loaded: a copy to the right has nowhere to go, least of all the working folder.
        CoreFixture f;
        TestDir work;
        f.left.file("sub/a", "x");
        f.load(f.left.path(), true);
        f.core.RunComparison(false);
        f.list.setMarker(0, Marker::CopyRight);
        f.host.messages.clear();
        const QString before = QDir::currentPath();
        QDir::setCurrent(QString::fromUtf8(work.path()));
        f.core.RunSynchronisation();
        QDir::setCurrent(before);
        QVERIFY(QDir(QString::fromUtf8(work.path())).isEmpty());
        QCOMPARE(f.host.messages.size(), 1);
        QVERIFY(f.host.messages[0].text.contains(Cr + "Für die rechte Spalte ist kein Ordner geladen." + Cr));

        // A new left folder forgets the right one: the old right folder is no target any more.
        f.right.file("kept", "old");
        f.load(f.right.path(), false);
        f.load(f.left.path(), true);
        QCOMPARE(f.core.RightPath(), NativePath());
        QCOMPARE(f.list.headerText(ComparisonList::RightNameColumn), QString("Zweiter Ordner"));
        f.list.setMarker(0, Marker::CopyRight);
        f.host.messages.clear();
        f.core.RunSynchronisation();
        QCOMPARE(f.host.messages.size(), 1);
        QVERIFY(!QFile::exists(QString::fromUtf8(f.right.path("sub/a"))));
        QVERIFY(f.fs.changes.isEmpty());
    }

    void stopsAtTheNextYield()
    {
        // The window was closed: the row under way is finished, no further file is touched.
        CoreFixture f;
        for (const char *name : {"a", "b", "c"}) {
            f.left.file(name, "new", TestDir::DefaultTime + 60);
            f.right.file(name, "old");
        }
        f.loadBoth();
        f.core.RunComparison(false);
        f.host.onYield = [&] { f.host.stop = true; };
        f.core.RunSynchronisation();
        QCOMPARE(f.fs.changes.size(), 1);
        QCOMPARE(contentOf(f.right.path("c")) + contentOf(f.right.path("b")), QByteArray("newold"));
        QCOMPARE(f.list.count(), 2);
        QCOMPARE(f.host.panel2, QString("Status: Datenabgleich beendet."));
    }

    void endingSignalRemovesTheTemporaryFile_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void endingSignalRemovesTheTemporaryFile()
    {
        QFETCH(int, signal);
        POSIX_ONLY(); // signals, and a temporary file of its own
        CoreFixture f;
        f.left.file("doc", QByteArray(600000, 'n'), TestDir::DefaultTime + 60);
        f.right.file("doc", "old");
        f.loadBoth();
        f.core.RunComparison(false);
        // The signal comes while the temporary file is being written, in a child that does nothing else.
        f.fs.beforeRead = [&](const NativePath &) {
            if (hasTemporaryFiles(f.right))
                ::raise(signal);
        };
        const pid_t child = ::fork();
        if (child == 0) {
            for (int s : {SIGINT, SIGTERM, SIGHUP}) // as in a program, without the test framework's handlers
                std::signal(s, SIG_DFL);
            f.core.RunSynchronisation();
            ::_exit(0);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == signal, "the copy was not interrupted");
        QCOMPARE(contentOf(f.right.path("doc")), QByteArray("old"));
        QVERIFY(!hasTemporaryFiles(f.right));
    }

    void actionWithoutAFileOnItsSide_data()
    {
        QTest::addColumn<int>("marker");
        QTest::newRow("delete left") << int(Marker::DeleteLeft);
        QTest::newRow("copy to the right") << int(Marker::CopyRight);
        QTest::newRow("delete both") << int(Marker::DeleteBoth);
    }
    void actionWithoutAFileOnItsSide()
    {
        QFETCH(int, marker);
        CoreFixture f;
        f.left.file("other");
        f.right.file("r", "keep me");
        f.loadBoth();
        f.list.setMarker(0, Marker(marker));
        f.host.answers = {Host::Answer::Abort};
        f.core.RunSynchronisation();
        QCOMPARE(f.host.messages.size(), 1);
        QVERIFY(f.host.messages[0].text.contains(Cr + "In dieser Zeile gibt es links keine Datei." + Cr));
        QVERIFY(f.fs.changes.isEmpty()); // above all, the loaded folders themselves are left alone
        QCOMPARE(f.list.count(), 1);
    }

    void sameFolderLinksAndMissingFolders()
    {
        CoreFixture f;
        f.left.file("a", "precious");
        f.left.link("link", "a");
        f.left.file("sub/b", "x");
        f.load(f.left.path(), true);
        f.load(f.left.path(), false); // the same folder on both sides
        f.list.setMarker(f.rowOf("a"), Marker::CopyRight);
        f.list.setMarker(f.rowOf("link"), Marker::DeleteLeft);
        f.core.RunSynchronisation();
        QCOMPARE(contentOf(f.left.path("a")), QByteArray("precious")); // not copied onto itself
        QVERIFY(!QFileInfo::exists(QString::fromUtf8(f.left.path("link")))); // the link goes, not its target

        CoreFixture g;
        g.left.file("a/b/c", "x");
        g.loadBoth();
        g.list.setMarker(0, Marker::CopyRight);
        g.fs.fail("mkdir", g.right.path("a"), EACCES);
        g.core.RunSynchronisation();
        // The preparation stops silently at its first failure; the copy reports its own.
        QCOMPARE(g.fs.changes.filter("mkdir").size(), 1);
        QCOMPARE(g.host.messages.size(), 1);
    }

    void clipboardExport()
    {
        CoreFixture f;
        f.left.file("a.txt");
        f.right.file("a.txt", "x", TestDir::DefaultTime - 5);
        f.left.file("Müll.txt");
        f.right.file("c.txt");
        f.loadBoth();
        f.core.RunComparison(false);
        f.host.events.clear();
        f.core.ExportListToClipboard();
        QCOMPARE(f.host.clipboard, QString("\t? <--\tc.txt\r\na.txt\t-->\ta.txt\r\nMüll.txt\t? -->\t\r\n"));
        QCOMPARE(f.host.events, (QStringList{"busy:on", "panel2:Status: Liste wird in die Zwischenablage kopiert ...",
                                             "progress:33.3333", "progress:66.6667", "progress:100", "clipboard",
                                             "panel2:Status: Fertig.", "progress:0", "busy:off"}));
        f.list.sort(ComparisonList::LeftNameColumn, Qt::DescendingOrder);
        f.core.ExportListToClipboard();
        QVERIFY(f.host.clipboard.startsWith("Müll.txt\t"));

        CoreFixture empty;
        empty.host.clipboard = "old";
        empty.core.ExportListToClipboard();
        QCOMPARE(empty.host.clipboard, QString());
        QCOMPARE(empty.host.panel2, QString("Status: Fertig."));

        empty.host.clipboardWorks = false;
        empty.core.ExportListToClipboard();
        QCOMPARE(empty.host.messageTexts(), QStringList{"Die Liste konnte nicht in die Zwischenablage kopiert werden."});
        QCOMPARE(empty.host.panel2, QString("Status: Die Liste konnte nicht in die Zwischenablage kopiert werden."));
        QCOMPARE(empty.host.events.mid(empty.host.events.size() - 3), (QStringList{"progress:0", "busy:off",
                                                                                  "message:Die Liste konnte nicht in die "
                                                                                  "Zwischenablage kopiert werden."}));
    }
};

QTEST_GUILESS_MAIN(TestSynchronisation)
#include "tst_synchronisation.moc"

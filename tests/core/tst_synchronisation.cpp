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

// Every file of the tree as "name:content", in name order, hidden ones too: a temporary file left behind
// shows here on either file system.
QStringList disk(const TestDir &dir)
{
    QStringList files;
    QDirIterator it(QString::fromUtf8(dir.path()), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        const QByteArray content = file.open(QIODevice::ReadOnly) ? file.readAll() : "(unreadable)";
        files << file.fileName().mid(dir.path().size() + 1) + ':' + content;
    }
    files.sort();
    return files;
}

// Writes the file anew with its time to the nanosecond: in place (the same inode), or as a new file put
// in its place.
void rewrite(const NativePath &path, const QByteArray &bytes, qint64 time, long ns = 0, bool newInode = false)
{
    const NativePath written = newInode ? path + ".new" : path;
    QFile f(QString::fromUtf8(written));
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.flush());
    const timespec times[2] = {{time_t(time), ns}, {time_t(time), ns}};
    QCOMPARE(::utimensat(AT_FDCWD, written.constData(), times, AT_SYMLINK_NOFOLLOW), 0);
    QCOMPARE(::rename(written.constData(), path.constData()), 0);
}

} // namespace

class TestSynchronisation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Every marker's step, from the bottom row up. A proposal is not carried out; a step without a file on
    // its side is refused and asks nothing of the loaded folder itself.
    void everyMarkersAction()
    {
        CoreFixture f;
        for (const char *name : {"to-right", "to-left", "del-right", "del-left", "del-both", "skip"}) {
            f.left.file(name, "l", TestDir::DefaultTime - 7);
            f.right.file(name, "r", TestDir::DefaultTime + 60);
        }
        f.left.file("sub/deep/only-left", "L"); // its folders are made on the way
        f.left.file("proposal", "P");
        for (const char *name : {"only-right/r", "no-left-delete", "no-left-copy"})
            f.right.file(name, "R");
        f.loadBoth();
        const QHash<QByteArray, Marker> markers{
            {"to-right", Marker::CopyRight},       {"to-left", Marker::CopyLeft},
            {"sub/deep/only-left", Marker::CopyRight}, {"only-right/r", Marker::CopyLeft},
            {"proposal", Marker::OrphanLeft},      {"del-right", Marker::DeleteRight},
            {"del-left", Marker::DeleteLeft},      {"del-both", Marker::DeleteBoth},
            {"skip", Marker::Skip},                {"no-left-delete", Marker::DeleteLeft},
            {"no-left-copy", Marker::CopyRight}};
        for (int i = 0; i < f.list.count(); ++i) // by the row's name: the other is the same or empty
            f.list.setMarker(i, markers.value(std::max(f.list.row(i).leftName, f.list.row(i).rightName)));
        f.core.RunSynchronisation();

        QCOMPARE(disk(f.left).join(' '), QString("del-right:l only-right/r:R proposal:P skip:l "
                                                 "sub/deep/only-left:L to-left:r to-right:l"));
        QCOMPARE(disk(f.right).join(' '), QString("del-left:r no-left-copy:R no-left-delete:R only-right/r:R "
                                                  "skip:r sub/deep/only-left:L to-left:r to-right:l"));
        QCOMPARE(f.fs.changes.filter("delete ").size(), 4);
        QCOMPARE(f.host.messageTexts().filter("\rIn dieser Zeile gibt es links keine Datei.\r").size(), 2);

        // The copies carry the time over: a new age comparison finds the pairs equal.
        f.loadBoth();
        f.core.RunComparison(false);
        QCOMPARE(f.markerOf("to-right") + f.markerOf("to-left") + f.markerOf("only-right/r"), QString("==="));
    }

    // A refused step is asked about: Retry tries it again, Ignore keeps its row and goes on (to the right
    // file of XX too), Abort keeps its row and every row above it.
    void answers()
    {
        CoreFixture f;
        for (const char *name : {"a", "b", "c", "d", "e"}) {
            f.left.file(name, "l");
            f.right.file(name, "r");
        }
        f.loadBoth();
        for (int i = 0; i < 5; ++i)
            f.list.setMarker(i, i == 1 || i == 2 ? Marker::DeleteBoth : Marker::DeleteRight);
        for (const NativePath &path : {f.left.path("b"), f.left.path("c"), f.right.path("d")})
            f.fs.fail("delete", path, EACCES);
        // d can be deleted once the user has answered for it.
        f.host.onMessage = [&] { f.fs.faults.remove("delete:" + QString::fromUtf8(f.right.path("d"))); };
        f.host.answers = {Host::Answer::Retry, Host::Answer::Ignore, Host::Answer::Abort};
        f.core.RunSynchronisation();

        QCOMPARE((disk(f.left) + disk(f.right)).join(' '), QString("a:l b:l c:l d:l e:l a:r b:r"));
        QCOMPARE(f.rows(), (QStringList{"a|X->|a", "b|XX|b", "c|XX|c"}));
        const auto refused = [](const NativePath &path) {
            return "Abgleichsfehler:" + Cr + Cr + "Die Datei '" + QString::fromUtf8(path) + "'" + Cr +
                   "konnte nicht gelöscht werden." + Cr + Cr + "Bitte quittieren oder abbrechen";
        };
        QCOMPARE(f.host.messageTexts(), (QStringList{refused(f.right.path("d")), refused(f.left.path("c")),
                                                     refused(f.left.path("b"))}));
        QCOMPARE(f.host.events.last(), QString("compare:on")); // the epilogue runs after Abort too
    }

    void interruptedCopyKeepsTheOldTarget()
    {
        CoreFixture f;
        f.left.file("big", QByteArray(600000, 'n'));
        f.right.file("big", "the old content");
        f.loadBoth();
        f.list.setMarker(0, Marker::CopyRight);
        // No file of this process may grow beyond 100,000 bytes: the copy meets a full disk half-way.
        rlimit old;
        ::getrlimit(RLIMIT_FSIZE, &old);
        const rlimit limit{100000, old.rlim_max};
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &limit);
        f.core.RunSynchronisation();
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        QCOMPARE(disk(f.right), QStringList{"big:the old content"});
        QCOMPARE(f.host.messages.size(), 1);
        QVERIFY(f.host.messages[0].text.contains("nach '" + QString::fromUtf8(f.right.path("big")) + "'"));

        // What follows only the POSIX file system promises; the full disk above is checked on both.
        POSIX_ONLY(); // an ending signal, and a temporary file of its own
        for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
            const pid_t child = ::fork();
            if (child == 0) {
                std::signal(signal, SIG_DFL); // as in a program, without the test framework's handler
                // The signal comes while the temporary file is written, in a child that does nothing else.
                f.fs.beforeRead = [&](const NativePath &) {
                    if (disk(f.right).size() > 1)
                        ::raise(signal);
                };
                f.core.RunSynchronisation();
                ::_exit(0);
            }
            int status = 0;
            QCOMPARE(::waitpid(child, &status, 0), child);
            QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == signal, strsignal(signal));
            QCOMPARE(disk(f.right), QStringList{"big:the old content"});
        }
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

        const NativePath left = f.left.path("doc"), right = f.right.path("doc");
        if (change == "target rewritten within its second")
            rewrite(right, "RIGHT OLD", t, 500);
        else if (change == "target grown")
            rewrite(right, "right older", t);
        else if (change == "target replaced, same size and time")
            rewrite(right, "right old", t, 0, true);
        else if (change == "target replaced by a link")
            // To the very file the load saw: only the link itself tells.
            QVERIFY(QFile::rename(right, right + ".old") && QFile::link(right + ".old", right));
        else if (change == "source replaced by an older file")
            rewrite(left, "left old", t - 3600);
        else if (change == "source replaced, same size and time")
            rewrite(left, "left new", t + 60, 0, true);
        else if (change == "target appears")
            rewrite(right, "the user's file", t + 3600);
        QStringList expected = disk(f.left) + disk(f.right);
        f.fs.beforeRead = [&](const NativePath &) {
            if (change == "source grows while copied")
                rewrite(left, "left new and more", t + 60);
            else if (change == "source rewritten within its second while copied")
                rewrite(left, "LEFT NEW", t + 60, 500);
            else if (change == "target rewritten while copied")
                rewrite(right, "the user's newest edit", t + 3600);
            // As the user left it, without the copy's temporary file (empty yet): no step may alter it.
            expected = disk(f.left) + disk(f.right);
            expected.removeIf([](const QString &entry) { return entry.endsWith(':'); });
        };
        f.core.RunSynchronisation();

        QCOMPARE(f.host.messages.size(), 1);
        QVERIFY2(f.host.messages[0].text.contains(Cr + line + Cr + Cr), qPrintable(f.host.messages[0].text));
        QCOMPARE(disk(f.left) + disk(f.right), expected);
    }

    void identityIsDeviceAndInode()
    {
        EntryInfo seen, now;
        now.device = 2; // the same inode number on another disk
        QVERIFY(!SameEntry(now, seen, true) && SameEntry(now, seen, false));
    }

    // Loads that leave no proper target: the same folder on both sides, then a new left folder that makes
    // the right one forgotten.
    void sameOrNoRightFolder()
    {
        CoreFixture f;
        TestDir work;
        f.left.file("a", "precious");
        f.left.link("link", "a");
        f.load(f.left.path(), true);
        f.load(f.left.path(), false);
        f.list.setMarker(f.rowOf("a"), Marker::CopyRight);
        f.list.setMarker(f.rowOf("link"), Marker::DeleteLeft);
        f.core.RunSynchronisation();
        // Not copied onto itself; the link goes, not its target.
        QCOMPARE(disk(f.left), QStringList{"a:precious"});

        // A copy to the right has nowhere to go: neither the old right folder nor the working folder.
        f.right.file("sub/b", "x");
        f.load(f.right.path(), true);
        f.list.setMarker(0, Marker::CopyRight);
        const QString before = QDir::currentPath();
        QDir::setCurrent(QString::fromUtf8(work.path()));
        f.core.RunSynchronisation();
        QDir::setCurrent(before);
        QCOMPARE(disk(work) + disk(f.left), QStringList{"a:precious"});
        QCOMPARE(f.host.messageTexts().filter("Für die rechte Spalte ist kein Ordner geladen.").size(), 1);
    }

    void clipboardFailureIsReported()
    {
        CoreFixture f;
        f.host.clipboardWorks = false;
        f.core.ExportListToClipboard();
        const QString lost = "Die Liste konnte nicht in die Zwischenablage kopiert werden.";
        QCOMPARE(f.host.events.filter(lost), (QStringList{"panel2:Status: " + lost, "message:" + lost}));
    }
};

QTEST_GUILESS_MAIN(TestSynchronisation)
#include "tst_synchronisation.moc"

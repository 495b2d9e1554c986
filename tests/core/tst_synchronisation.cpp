#include "core.h"
#include "fakehost.h"
#include "faultyfilesystem.h"
#include "testdir.h"

#include <QDir>
#include <QDirIterator>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace common;

namespace {

const QChar CR(13);

struct Fixture
{
    TestDir left;
    TestDir right;
    FakeHost host;
    FaultyFileSystem fs;
    Core core{host, fs};
    ComparisonList &list = core.list();

    void loadBoth()
    {
        NativePath l = left.path(), r = right.path();
        bool toLeft = true;
        core.LoadFolder(l, toLeft);
        toLeft = false;
        core.LoadFolder(r, toLeft);
        host.clearRecords();
    }
    int rowOf(const NativePath &leftName, const NativePath &rightName = "*") const
    {
        for (int i = 0; i < list.count(); ++i)
            if (list.row(i).leftName == leftName && (rightName == "*" || list.row(i).rightName == rightName))
                return i;
        return -1;
    }
    void mark(const NativePath &leftName, Marker marker, const NativePath &rightName = "*")
    {
        const int row = rowOf(leftName, rightName);
        QVERIFY2(row >= 0, leftName.constData());
        list.setMarker(row, marker);
    }
    QStringList leftNames() const
    {
        QStringList names;
        for (int i = 0; i < list.count(); ++i)
            names << QString::fromUtf8(list.row(i).leftName);
        return names;
    }
};

QByteArray contentOf(const NativePath &path)
{
    QFile f(QString::fromUtf8(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

bool exists(const NativePath &path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0;
}

qint64 modifiedOf(const NativePath &path)
{
    struct stat st;
    return ::stat(path.constData(), &st) == 0 ? st.st_mtime : -1;
}

QStringList temporaryFiles(const TestDir &dir)
{
    QStringList found;
    QDirIterator it(QString::fromUtf8(dir.path()), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        if (it.next().contains(QString::fromLatin1(TemporaryPrefix)))
            found << it.filePath();
    return found;
}

} // namespace

class TestSynchronisation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        tzset();
    }

    void everyMarkersAction()
    {
        Fixture f;
        f.left.file("to-right", "neu links", TestDir::DefaultTime + 60);
        f.right.file("to-right", "alt");
        f.left.file("to-left", "alt");
        f.right.file("to-left", "neu rechts", TestDir::DefaultTime + 60);
        f.left.file("sub/deep/only-left", "L", TestDir::DefaultTime - 7);
        f.right.file("only-right/r", "R");
        f.left.file("del-right", "l");
        f.right.file("del-right", "r");
        f.left.file("del-left", "l");
        f.right.file("del-left", "r");
        f.left.file("del-both", "l");
        f.right.file("del-both", "r");
        f.left.file("equal", "=");
        f.right.file("equal", "=");
        f.left.file("skip", "s");
        f.right.file("skip", "t");
        f.loadBoth();
        f.core.RunComparison(false);
        f.host.clearRecords();
        f.mark("sub/deep/only-left", Marker::CopyRight); // was "? -->"
        f.mark("", Marker::CopyLeft);                      // the right-only row
        f.mark("del-right", Marker::DeleteRight);
        f.mark("del-left", Marker::DeleteLeft);
        f.mark("del-both", Marker::DeleteBoth);
        f.mark("skip", Marker::Skip);

        f.core.RunSynchronisation();

        QCOMPARE(contentOf(f.right.path("to-right")), QByteArray("neu links"));
        QCOMPARE(contentOf(f.left.path("to-left")), QByteArray("neu rechts"));
        QCOMPARE(contentOf(f.right.path("sub/deep/only-left")), QByteArray("L"));
        QCOMPARE(modifiedOf(f.right.path("sub/deep/only-left")), TestDir::DefaultTime - 7);
        QCOMPARE(modifiedOf(f.right.path("to-right")), TestDir::DefaultTime + 60);
        QCOMPARE(contentOf(f.left.path("only-right/r")), QByteArray("R"));
        QVERIFY(exists(f.left.path("del-right")) && !exists(f.right.path("del-right")));
        QVERIFY(!exists(f.left.path("del-left")) && exists(f.right.path("del-left")));
        QVERIFY(!exists(f.left.path("del-both")) && !exists(f.right.path("del-both")));
        QCOMPARE(contentOf(f.right.path("skip")), QByteArray("t"));
        QCOMPARE(f.list.count(), 0); // every row dealt with, whatever its marker
        QVERIFY(f.host.messages.isEmpty());
        QCOMPARE(f.host.statusHistory, (QStringList{"Status: Datenabgleich läuft ...", "Status: Datenabgleich beendet."}));
        QCOMPARE(f.host.compareEnabled, (QList<bool>{false, true}));
        QCOMPARE(f.host.progress.first(), 0.0);
        QCOMPARE(f.host.progress.last(), 0.0);
        QCOMPARE(f.host.yields, 9);
        QVERIFY(temporaryFiles(f.left).isEmpty() && temporaryFiles(f.right).isEmpty());

        // The copies carry the time over: a new age comparison finds the pairs equal.
        f.loadBoth();
        f.core.RunComparison(false);
        QCOMPARE(MarkerText(f.list.row(f.rowOf("to-right")).marker), QString("="));
        QCOMPARE(MarkerText(f.list.row(f.rowOf("only-right/r")).marker), QString("="));
    }

    void proposalsAreNotCarriedOut()
    {
        Fixture f;
        f.left.file("only-left");
        f.right.file("only-right");
        f.loadBoth();
        f.core.RunComparison(false);
        f.core.RunSynchronisation();
        QVERIFY(!exists(f.right.path("only-left")) && !exists(f.left.path("only-right")));
        QCOMPARE(f.list.count(), 0);
        QVERIFY(f.fs.changes.isEmpty());
    }

    void deleteBothIgnoredOnTheLeft()
    {
        Fixture f;
        f.left.file("x", "l");
        f.right.file("x", "r");
        f.loadBoth();
        f.mark("x", Marker::DeleteBoth);
        f.fs.deleteErrors[f.left.path("x")] = EACCES;
        f.host.answers = {Host::Answer::Ignore};
        f.core.RunSynchronisation();
        QCOMPARE(f.host.messageTexts(), QStringList{"Abgleichsfehler:" + QString(CR) + CR + "Die Datei '" +
                                                    QString::fromUtf8(f.left.path("x")) + "'" + CR +
                                                    "konnte nicht gelöscht werden." + CR + CR +
                                                    "Bitte quittieren oder abbrechen"});
        QCOMPARE(f.host.messages[0].icon, Host::Icon::Critical);
        QCOMPARE(f.host.messages[0].buttons, Host::Buttons::AbortRetryIgnore);
        QVERIFY(exists(f.left.path("x")) && !exists(f.right.path("x")));
        QCOMPARE(f.list.count(), 1);
        QCOMPARE(f.list.row(0).marker, Marker::DeleteBoth);
    }

    void retryAfterTheFaultIsLifted()
    {
        Fixture f;
        f.left.file("x");
        f.right.file("x");
        f.loadBoth();
        f.mark("x", Marker::DeleteRight);
        f.fs.deleteErrors[f.right.path("x")] = EPERM;
        f.host.answers = {Host::Answer::Retry};
        f.host.onMessage = [&] { f.fs.deleteErrors.clear(); }; // the user makes the file deletable
        f.core.RunSynchronisation();
        QCOMPARE(f.host.messages.size(), 1);
        QVERIFY(!exists(f.right.path("x")));
        QCOMPARE(f.list.count(), 0);
    }

    void retryClearsTheKeepMarkOfTheRow()
    {
        Fixture f;
        f.left.file("x");
        f.right.file("x");
        f.loadBoth();
        f.mark("x", Marker::DeleteBoth);
        f.fs.deleteErrors[f.left.path("x")] = EPERM;
        f.fs.deleteErrors[f.right.path("x")] = EPERM;
        // Ignore on the left, then Retry on the right once that fault is gone.
        f.host.answers = {Host::Answer::Ignore, Host::Answer::Retry};
        f.host.onMessage = [&] {
            if (f.host.messages.size() == 2)
                f.fs.deleteErrors.remove(f.right.path("x"));
        };
        f.core.RunSynchronisation();
        QCOMPARE(f.host.messages.size(), 2);
        QVERIFY(exists(f.left.path("x")) && !exists(f.right.path("x")));
        QCOMPARE(f.list.count(), 0);
    }

    void abortOnTheThirdRowOfTen()
    {
        Fixture f;
        for (int i = 0; i < 10; ++i) {
            f.left.file("f" + QByteArray::number(i));
            f.right.file("f" + QByteArray::number(i));
        }
        f.loadBoth();
        for (int i = 0; i < 10; ++i)
            f.list.setMarker(i, Marker::DeleteRight);
        f.fs.deleteErrors[f.right.path("f7")] = EACCES; // the third row visited from the bottom
        f.host.answers = {Host::Answer::Abort};
        f.core.RunSynchronisation();
        QCOMPARE(f.leftNames(), (QStringList{"f0", "f1", "f2", "f3", "f4", "f5", "f6", "f7"}));
        QCOMPARE(f.list.row(7).marker, Marker::DeleteRight);
        QVERIFY(!exists(f.right.path("f8")) && !exists(f.right.path("f9")));
        QVERIFY(exists(f.right.path("f6")) && exists(f.right.path("f7")));
        QCOMPARE(f.host.progress.last(), 0.0);
        QCOMPARE(f.host.panel2, QString("Status: Datenabgleich beendet."));
        QCOMPARE(f.host.compareEnabled.last(), true);
    }

    void copyFailureKeepsTheOldTarget()
    {
        Fixture f;
        f.left.file("big", QByteArray(300000, 'n'), TestDir::DefaultTime + 60);
        f.right.file("big", "the old content");
        f.loadBoth();
        f.core.RunComparison(false);
        f.host.clearRecords();
        // A disk that is full after 100,000 bytes: the process may write no more than that to one file.
        struct rlimit old;
        ::getrlimit(RLIMIT_FSIZE, &old);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = old;
        limit.rlim_cur = 100000;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        f.core.RunSynchronisation();
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);

        QCOMPARE(contentOf(f.right.path("big")), QByteArray("the old content"));
        QVERIFY(temporaryFiles(f.right).isEmpty());
        QCOMPARE(f.host.messageTexts(),
                 QStringList{"Abgleichsfehler:" + QString(CR) + CR + "Die Datei '" + QString::fromUtf8(f.left.path("big")) +
                             "'" + CR + "konnte nicht nach '" + QString::fromUtf8(f.right.path("big")) + "'" + CR +
                             "kopiert werden." + CR + CR + "Bitte quittieren oder abbrechen"});
        QCOMPARE(f.list.count(), 1); // Ignore (the fake's default answer) keeps the row
    }

    void changedTargetIsNeitherReplacedNorDeleted_data()
    {
        QTest::addColumn<int>("marker");
        QTest::addColumn<QString>("detail");
        QTest::newRow("copy") << int(Marker::CopyRight) << "konnte nicht nach '%2'" + QString(CR) + "kopiert werden.";
        QTest::newRow("delete") << int(Marker::DeleteRight) << "konnte nicht gelöscht werden.";
    }
    void changedTargetIsNeitherReplacedNorDeleted()
    {
        QFETCH(int, marker);
        QFETCH(QString, detail);
        Fixture f;
        f.left.file("doc", "older left");
        f.right.file("doc", "right");
        f.loadBoth();
        f.mark("doc", Marker(marker));
        f.right.file("doc", "the user's newest edit", TestDir::DefaultTime + 3600);
        f.core.RunSynchronisation();
        QCOMPARE(contentOf(f.right.path("doc")), QByteArray("the user's newest edit"));
        QCOMPARE(f.host.messages.size(), 1);
        QVERIFY2(f.host.messages[0].text.contains(detail.arg(QString::fromUtf8(f.right.path("doc"))) + CR +
                                                  "Die Datei wurde nach dem Einlesen verändert." + CR + CR),
                 qPrintable(f.host.messages[0].text));
        QCOMPARE(f.list.count(), 1);
    }

    void fileThatAppearedWhereTheRowHadNone()
    {
        Fixture f;
        f.left.file("new", "left");
        f.loadBoth();
        f.mark("new", Marker::CopyRight);
        f.right.file("new", "made meanwhile");
        f.core.RunSynchronisation();
        QCOMPARE(contentOf(f.right.path("new")), QByteArray("made meanwhile"));
        QVERIFY(f.host.messages[0].text.contains("Dort steht inzwischen eine Datei, die beim Einlesen noch nicht da war."));
    }

    void actionWithoutAFileOnItsSide_data()
    {
        QTest::addColumn<int>("marker");
        QTest::addColumn<QString>("line");
        QTest::newRow("delete left") << int(Marker::DeleteLeft) << "In dieser Zeile gibt es links keine Datei.";
        QTest::newRow("copy to the right") << int(Marker::CopyRight) << "In dieser Zeile gibt es links keine Datei.";
        QTest::newRow("delete both") << int(Marker::DeleteBoth) << "In dieser Zeile gibt es links keine Datei.";
    }
    void actionWithoutAFileOnItsSide()
    {
        QFETCH(int, marker);
        QFETCH(QString, line);
        Fixture f;
        f.right.file("r", "keep me");
        f.right.file("other", "and me");
        f.left.file("other", "and me");
        f.loadBoth();
        f.mark("", Marker(marker));
        f.host.answers = {Host::Answer::Abort};
        f.core.RunSynchronisation();
        QCOMPARE(f.host.messages.size(), 1);
        QVERIFY(f.host.messages[0].text.contains(line));
        QVERIFY(f.fs.changes.isEmpty()); // above all the loaded folders themselves are left alone
        QCOMPARE(contentOf(f.right.path("r")), QByteArray("keep me"));
        QCOMPARE(f.list.count(), 1); // aborted on this row; the row below it was dealt with
        QCOMPARE(f.list.row(0).rightName, NativePath("r"));
    }

    void sameFolderOnBothSides()
    {
        TestDir dir;
        dir.file("a", "precious");
        dir.file("sub/b", "also precious");
        FakeHost host;
        FaultyFileSystem fs;
        Core core(host, fs);
        NativePath path = dir.path();
        bool toLeft = true;
        core.LoadFolder(path, toLeft);
        toLeft = false;
        core.LoadFolder(path, toLeft);
        for (int i = 0; i < core.list().count(); ++i)
            core.list().setMarker(i, i % 2 ? Marker::CopyLeft : Marker::CopyRight);
        core.RunSynchronisation();
        QCOMPARE(contentOf(dir.path("a")), QByteArray("precious"));
        QCOMPARE(contentOf(dir.path("sub/b")), QByteArray("also precious"));
        QCOMPARE(core.list().count(), 0);
        QVERIFY(host.messages.isEmpty());
    }

    void deletingALinkKeepsItsTarget()
    {
        Fixture f;
        f.left.file("real", "content");
        f.left.link("link", "real");
        f.right.file("link", "x");
        f.loadBoth();
        f.mark("link", Marker::DeleteLeft);
        f.core.RunSynchronisation();
        QVERIFY(!exists(f.left.path("link")));
        QCOMPARE(contentOf(f.left.path("real")), QByteArray("content"));
    }

    void missingFolderCannotBeMade()
    {
        Fixture f;
        f.left.file("a/b/c", "x");
        f.loadBoth();
        f.mark("a/b/c", Marker::CopyRight);
        f.fs.makeFolderErrors[f.right.path("a")] = EACCES;
        f.core.RunSynchronisation();
        // The preparation stops silently at its first failure; the copy reports its own.
        QCOMPARE(f.fs.changes.filter("mkdir").size(), 1);
        QCOMPARE(f.host.messages.size(), 1);
        QVERIFY(!exists(f.right.path("a")));
    }

    void yieldsAfterEveryRowUnlessFaster()
    {
        Fixture f;
        for (int i = 0; i < 5; ++i)
            f.left.file("f" + QByteArray::number(i));
        f.loadBoth();
        f.host.speed = true;
        f.core.RunSynchronisation();
        QCOMPARE(f.host.yields, 0);
        QList<double> progress;
        for (double p : f.host.progress)
            progress.append(qRound(p * 1000) / 1000.0);
        QCOMPARE(progress, (QList<double>{0, 20, 40, 60, 80, 0}));
    }

    void emptyList()
    {
        Fixture f;
        f.core.RunSynchronisation();
        QCOMPARE(f.host.events, (QStringList{"compare:off", "panel2:Status: Datenabgleich läuft ...", "progress:0",
                                             "panel2:Status: Datenabgleich beendet.", "compare:on"}));
    }

    void export_()
    {
        Fixture f;
        f.left.file("a.txt");
        f.right.file("a.txt", "x", TestDir::DefaultTime - 5);
        f.left.file("b.txt");
        f.left.file("Müll.txt");
        f.right.file("c.txt");
        f.loadBoth();
        f.core.RunComparison(false);
        f.host.clearRecords();
        f.core.ExportListToClipboard();
        QCOMPARE(f.host.clipboard, QString("\t? <--\tc.txt\r\na.txt\t-->\ta.txt\r\nb.txt\t? -->\t\r\n"
                                           "Müll.txt\t? -->\t\r\n"));
        QCOMPARE(f.host.events, (QStringList{"busy:on", "panel2:Status: Liste wird in die Zwischenablage kopiert ...",
                                             "progress:25", "progress:50", "progress:75", "progress:100", "clipboard",
                                             "panel2:Status: Fertig.", "progress:0", "busy:off"}));

        f.list.sort(ComparisonList::LeftNameColumn, Qt::DescendingOrder);
        f.core.ExportListToClipboard();
        QVERIFY(f.host.clipboard.startsWith("Müll.txt\t"));

        Fixture empty;
        empty.host.clipboard = "old";
        empty.core.ExportListToClipboard();
        QCOMPARE(empty.host.clipboard, QString());
        QCOMPARE(empty.host.panel2, QString("Status: Fertig."));
    }

    void exportToAClipboardThatFails()
    {
        Fixture f;
        f.left.file("a");
        f.loadBoth();
        f.host.clipboardWorks = false;
        f.core.ExportListToClipboard();
        QCOMPARE(f.host.messageTexts(), QStringList{"Die Liste konnte nicht in die Zwischenablage kopiert werden."});
        QCOMPARE(f.host.busy.last(), false);
        QCOMPARE(f.host.progress.last(), 0.0);
    }
};

QTEST_GUILESS_MAIN(TestSynchronisation)
#include "tst_synchronisation.moc"

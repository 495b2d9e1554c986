#include "corefixture.h"

#include <QDirIterator>
#include <QFile>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace common;

namespace {

const QString CR(QChar(13));

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
    return "Abgleichsfehler:" + CR + CR + detail + CR + CR + "Bitte quittieren oder abbrechen";
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
                 failure("Die Datei '" + QString::fromUtf8(refused) + "'" + CR + "konnte nicht gelöscht werden."));
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
                                                            CR + "konnte nicht nach '" +
                                                            QString::fromUtf8(f.right.path("big")) + "'" + CR +
                                                            "kopiert werden.")});
        QCOMPARE(f.list.count(), 1);
    }

    void targetChangedOrAppearedSinceTheLoad_data()
    {
        QTest::addColumn<int>("marker");
        QTest::addColumn<bool>("rightExisted");
        QTest::addColumn<QString>("line");
        const QString changed = "Die Datei wurde nach dem Einlesen verändert.";
        QTest::newRow("copy over it") << int(Marker::CopyRight) << true << changed;
        QTest::newRow("delete it") << int(Marker::DeleteRight) << true << changed;
        QTest::newRow("copy where there was none")
            << int(Marker::CopyRight) << false << "Dort steht inzwischen eine Datei, die beim Einlesen noch nicht da war.";
    }
    void targetChangedOrAppearedSinceTheLoad()
    {
        QFETCH(int, marker);
        QFETCH(bool, rightExisted);
        QFETCH(QString, line);
        CoreFixture f;
        f.left.file("doc", "older left");
        if (rightExisted)
            f.right.file("doc", "right");
        f.loadBoth();
        f.list.setMarker(0, Marker(marker));
        f.right.file("doc", "the user's newest edit", TestDir::DefaultTime + 3600);
        f.core.RunSynchronisation();
        QCOMPARE(contentOf(f.right.path("doc")), QByteArray("the user's newest edit"));
        QCOMPARE(f.host.messages.size(), 1);
        QVERIFY2(f.host.messages[0].text.contains(CR + line + CR + CR), qPrintable(f.host.messages[0].text));
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
        QVERIFY(f.host.messages[0].text.contains(CR + "In dieser Zeile gibt es links keine Datei." + CR));
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
        QCOMPARE(empty.host.events.mid(empty.host.events.size() - 3), (QStringList{"progress:0", "busy:off",
                                                                                  "message:Die Liste konnte nicht in die "
                                                                                  "Zwischenablage kopiert werden."}));
    }
};

QTEST_GUILESS_MAIN(TestSynchronisation)
#include "tst_synchronisation.moc"

#include "corefixture.h"
#include "ignorepatterns.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <atomic>
#include <cerrno>

using namespace common;

namespace {
// A pattern file, an entry, and whether git's reading leaves the entry out.
struct Case
{
    const char *what, *lines, *path;
    bool folder, excluded;
};
const Case Cases[] = {
    {"anchored at the root", "/build", "build", true, true},
    {"anchored, deeper", "/build", "src/build", true, false},
    {"a name at any depth", "build/", "src/build", true, true},
    {"folders only", "build/", "src/build", false, false},
    {"a slash inside anchors", "doc/frotz", "a/doc/frotz", false, false},
    {"a slash inside, at the root", "doc/frotz", "doc/frotz", false, true},
    {"* stays in its folder", "doc/*.txt", "doc/a/b.txt", false, false},
    {"* in its folder", "doc/*.txt", "doc/b.txt", false, true},
    {"a trailing * stays in its folder", "doc/*\n!doc/a", "doc/a/b", false, false},
    {"** in the middle, no folder", "a/**/b", "a/b", false, true},
    {"** in the middle, folders", "a/**/b", "a/x/y/b", false, true},
    {"leading **", "**/foo", "x/y/foo", true, true},
    {"trailing ** inside", "abc/**", "abc/x/y", false, true},
    {"trailing ** not itself", "abc/**", "abc", true, false},
    {"negation takes back", "*.log\n!keep.log", "x/keep.log", false, false},
    {"negation, others stay out", "*.log\n!keep.log", "x/other.log", false, true},
    {"the last match decides", "!keep.log\n*.log", "keep.log", false, true},
    {"comment and escaped #", "# notes\n\\#notes", "#notes", false, true},
    {"a comment is no pattern", "# notes", "# notes", false, false},
    {"escaped !", "\\!x", "!x", false, true},
    {"case ignored", "*.TMP\nthumbs.db", "a/B.tmp", false, true},
    {"case ignored, a name", "Thumbs.DB", "THUMBS.db", false, true},
    {"set with a range", "file[0-9].txt", "file5.txt", false, true},
    {"set missed", "file[0-9].txt", "filex.txt", false, false},
    {"negated set", "[!a]*", "abc", false, false},
    {"] first in a set, named class", "[]]x\n[[:digit:]]z", "7z", false, true},
    {"trailing blanks dropped", "foo   ", "foo", false, true},
    {"CR LF lines", "foo\r\nbar\r\n", "bar", false, true},
    {"prefix and suffix", "~$*\n*~", "~$Brief.doc", false, true},
    {"umlauts folded", "\u00dcBERSICHT/", "dir/\u00fcbersicht", true, true},
    {"? is one letter", "?.txt", "\u00e4.txt", false, true},
    {"an unclosed [ is literal", "a[b", "x/a[b", false, true},
};
} // namespace

class TestExclusions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The meaning git documents for each shape of pattern; letter case ignored, umlauts included.
    void patterns_data()
    {
        QTest::addColumn<QString>("lines");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<bool>("folder");
        QTest::addColumn<bool>("excluded");
        for (const Case &c : Cases)
            QTest::newRow(c.what) << QString::fromUtf8(c.lines) << QByteArray(c.path) << c.folder << c.excluded;
    }
    void patterns()
    {
        QFETCH(QString, lines);
        QFETCH(QByteArray, path);
        QFETCH(bool, folder);
        QFETCH(bool, excluded);
        IgnorePatterns patterns;
        patterns.addLines(lines);
        QCOMPARE(patterns.excludes(path, path.lastIndexOf('/') + 1, folder), excluded);
        if (folder && excluded)
            QVERIFY(patterns.excludesPath(path + "/f")); // and all it holds
    }
    // The same table against git's own reading of entries on disk, where git is at hand: ASCII names only
    // (git folds no umlauts), and no unclosed "[" (git's pattern then matches nothing).
    void sameAsGit()
    {
        for (const Case &c : Cases) {
            if (QString::fromUtf8(QByteArray(c.lines) + c.path).contains(QRegularExpression("[^\\x01-\\x7f]|a\\[b")))
                continue;
            QTemporaryDir repository;
            if (QProcess::execute("git", {"init", "-q", repository.path()}) != 0)
                QSKIP("git is not installed");
            QFile ignore(repository.filePath(".gitignore"));
            QVERIFY(ignore.open(QIODevice::WriteOnly) && ignore.write(c.lines) >= 0);
            ignore.close();
            const QString path = QString::fromUtf8(c.path);
            QDir(repository.path()).mkpath(c.folder ? path : QFileInfo(path).path());
            QFile entry(repository.filePath(path));
            QVERIFY(c.folder || entry.open(QIODevice::WriteOnly));
            QProcess git;
            git.setWorkingDirectory(repository.path());
            git.start("git", {"-c", "core.ignorecase=true", "check-ignore", "--no-index", "-q", path});
            QVERIFY(git.waitForFinished());
            QCOMPARE(QString(c.what) + (git.exitCode() == 0 ? ": out" : ": in"),
                     QString(c.what) + (c.excluded ? ": out" : ": in"));
        }
    }

    // A hostile ignore file of one line, 1 MiB of "**/", ends without running out of stack.
    void absurdPatternEnds()
    {
        IgnorePatterns patterns;
        patterns.add(QString("**/").repeated(MaxIgnoreFileSize / 3) + "x*y");
        QVERIFY(!patterns.excludes("a/xy", 2, false)); // given up: it matches nothing
    }

    // Both sides' files leave the same entries out of both trees, whatever loads first: planned loads never
    // list a left-out folder; a left folder loaded alone loads again where the right one's file takes back
    // what its own left out, or where a right file before left out what the next one does not.
    void bothSidesOneRule()
    {
        for (const bool planned : {true, false}) {
            CoreFixture f;
            TestDir other;
            f.left.file(".kalmoraignore", "*.tmp\n");
            f.right.file(".kalmoraignore", "cache/\n!keep.tmp\n");
            for (const char *name : {"a.txt", "b.TMP", "keep.tmp", "cache/x", "sub/cache/y"}) {
                f.left.file(name);
                other.file(name);
            }
            f.right.file("c.tmp");
            std::atomic<int> cacheListings{0}; // counted on the listers' threads
            f.fs.beforeList = [&](const NativePath &folder) { cacheListings += folder.contains("cache"); };
            if (planned)
                f.core.PlanBothLoads(f.left.path(), f.right.path());
            f.load(f.left.path(), true);
            QCOMPARE(cacheListings == 0, planned);
            cacheListings = 0;
            f.load(f.right.path(), false);
            QCOMPARE(f.rows(), (QStringList{"a.txt||", "keep.tmp||"}));
            QCOMPARE(cacheListings, 0);
            QCOMPARE(f.host.events.filter("panel1:").last(), "panel1:2 Dateien");

            f.load(other.path(), false);
            QCOMPARE(f.rows(), (QStringList{"a.txt||a.txt", "cache/x||cache/x", "sub/cache/y||sub/cache/y"}));
        }
    }
    // A right file's patterns take left rows off; another right folder brings them back. A synchronisation
    // never reaches into what is left out, whatever the rows say.
    void rowsTakenOff()
    {
        CoreFixture f;
        TestDir other;
        f.left.file("cache/x");
        f.left.file("b");
        f.right.file(".kalmoraignore", "Cache/\n");
        f.right.file("cache/y");
        f.loadBoth();
        QCOMPARE(f.rows(), QStringList{"b||"});
        f.load(other.path(), false);
        QCOMPARE(f.rows(), (QStringList{"b||", "cache/x||"}));
        f.load(f.right.path(), false);
        std::vector<Row> rows{{"cache/x", {}, {}, {}, Marker::CopyRight}, {{}, "cache/y", {}, {}, Marker::DeleteRight}};
        f.list.appendRows(rows);
        f.core.RunSynchronisation();
        QCOMPARE(f.right.contents(), (QStringList{".kalmoraignore:Cache/\n", "cache/y:"}));
        QCOMPARE(f.host.messageTexts().filter("ausgeschlossen").size(), 2);
    }

    // An ignore file that cannot be read is named, and the load goes on without its patterns.
    void badIgnoreFiles()
    {
        for (const bool tooLarge : {false, true}) {
            CoreFixture f;
            f.left.file("a.tmp");
            f.left.file(".kalmoraignore", tooLarge ? QByteArray(MaxIgnoreFileSize + 1, '\n') : "*.tmp");
            if (!tooLarge)
                f.fs.fail("open", f.left.path("") + ".kalmoraignore", EACCES);
            f.load(f.left.path(), true);
            QCOMPARE(f.rows(), QStringList{"a.tmp||"});
            const QString path = QString::fromUtf8(f.left.path("") + ".kalmoraignore");
            QCOMPARE(f.host.messageTexts(),
                     QStringList{(tooLarge ? "Die Ausschlussdatei '" + path + "' ist größer als 1 MiB."
                                           : "Zugriffsfehler 13 auf '" + path + "'") +
                                 "\rDie Ausschlussmuster dieser Datei gelten nicht ..."});
        }
    }

};

QTEST_GUILESS_MAIN(TestExclusions)
#include "tst_exclusions.moc"

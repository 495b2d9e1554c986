#include "testdir.h"

#include <QProcess>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

// The command-line front end run as a user would run it, on real trees.
class TestCli : public QObject
{
    Q_OBJECT

private:
    struct Result
    {
        int exitCode;
        QByteArray out;
        QString err;
    };
    static Result run(const QStringList &arguments)
    {
        QProcess p;
        p.start(KALMORA_CLI, arguments);
        p.waitForFinished(60000);
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
                QString::fromUtf8(p.readAllStandardError())};
    }
    static QString arg(const QByteArray &path) { return QString::fromUtf8(path); }

private Q_SLOTS:
    void identicalTrees()
    {
        TestDir left, right;
        for (TestDir *d : {&left, &right}) {
            d->file("a.txt", "eins");
            d->file("Sub/b.txt", "zwei");
        }
        const Result r = run({arg(left.path()), arg(right.path())});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QByteArray("a.txt\t=\ta.txt\nSub/b.txt\t=\tSub/b.txt\n"));
        QCOMPARE(r.err, QString("Ergebnis des Binärvergleichs von 2 Dateien:\n\nBeide Verzeichnisse sind vollkommen "
                                "identisch!\n"));
    }

    void differingTrees_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QByteArray>("out");
        QTest::newRow("binary") << "--binary" << QByteArray("\t?\tc.txt\na.txt\t<>\tA.TXT\nb.txt\t?\t\n");
        QTest::newRow("age") << "--age" << QByteArray("\t? <--\tc.txt\na.txt\t<--\tA.TXT\nb.txt\t? -->\t\n");
    }
    void differingTrees()
    {
        QFETCH(QString, mode);
        QFETCH(QByteArray, out);
        TestDir left, right;
        left.file("a.txt", "alt");
        left.file("b.txt");
        right.file("A.TXT", "neu", TestDir::DefaultTime + 60);
        right.file("c.txt");
        const Result r = run({mode, arg(left.path()), arg(right.path())});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, out);
    }

    void emptyLeftMakesRightTheLeftColumn()
    {
        TestDir left, right;
        right.file("r");
        const Result r = run({arg(left.path()), arg(right.path())});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, QByteArray("r\t?\t\n"));
    }

    void namesKeepTheirBytes()
    {
        TestDir left, right;
        left.file("caf\xe9.txt", "x");
        right.file("caf\xe9.txt", "x");
        const Result r = run({arg(left.path()), arg(right.path())});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QByteArray("caf\xe9.txt\t=\tcaf\xe9.txt\n"));
    }

    void trouble_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing folder") << QStringList{"LEFT", "/nonexistent/kalmora"}
                                        << "Der Ordner '/nonexistent/kalmora' existiert nicht.";
        QTest::newRow("one folder") << QStringList{"LEFT"} << "bitte genau zwei Ordner angeben";
        QTest::newRow("unknown option") << QStringList{"--fast", "LEFT", "LEFT"} << "unbekannte Option";
    }
    void trouble()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        TestDir left;
        arguments.replaceInStrings("LEFT", arg(left.path()));
        const Result r = run(arguments);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QVERIFY(r.out.isEmpty());
    }

    void unreadableFolderIsTrouble()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to run the program as another user");
        if (QProcess::execute("setpriv", {"--version"}) != 0)
            QSKIP("setpriv is not available");
        TestDir left, right;
        left.file("a", "1");
        left.file("locked/b", "2");
        right.file("a", "1");
        QVERIFY(::chmod(left.path().constData(), 0755) == 0 && ::chmod(right.path().constData(), 0755) == 0);
        QVERIFY(::chmod(left.path("locked").constData(), 0700) == 0);
        QProcess p;
        p.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", KALMORA_CLI, arg(left.path()),
                            arg(right.path())});
        p.waitForFinished(60000);
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(QString::fromUtf8(p.readAllStandardError()).startsWith("Zugriffsfehler 13 auf '"));
        QCOMPARE(p.readAllStandardOutput(), QByteArray("a\t=\ta\n"));
    }

    void helpAndVersion()
    {
        const Result help = run({"--help"});
        QCOMPARE(help.exitCode, 0);
        QVERIFY(help.out.startsWith("Aufruf: kalmora-cli"));
        const Result version = run({"--version"});
        QCOMPARE(version.exitCode, 0);
        QCOMPARE(version.out, QByteArray("kalmora-cli " KALMORA_VERSION "\n"));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"

#include "testdir.h"

#include <QFile>
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

    void batchRunsTheControlFile()
    {
        TestDir dir;
        dir.file("L/a", "alt");
        dir.file("R/a", "neu", TestDir::DefaultTime + 60);
        dir.file("R/b", "nur rechts");
        dir.file("steuer.ini", "[Pfade]\r\nLinks=" + dir.path("L") + "\r\nRechts=" + dir.path("R") +
                                   "\r\n[AutoStart]\r\nAltersvergleich=1\r\nZwischenablage=1\r\nAbgleich=1\r\n"
                                   "Ende=1\r\n");
        const Result r = run({"--batch", arg(dir.path("steuer.ini"))});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QByteArray("\t? <--\tb\na\t<--\ta\n"));
        QFile copied(arg(dir.path("L/a")));
        QVERIFY(copied.open(QIODevice::ReadOnly));
        QCOMPARE(copied.readAll(), QByteArray("neu"));
        QVERIFY(!QFile::exists(arg(dir.path("L/b"))));
    }

    void batchRefused()
    {
        TestDir dir;
        const Result r = run({"--batch", arg(dir.path("fehlt.ini"))});
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(" * Die Steuerdatei ''" + arg(dir.path("fehlt.ini")) + "'' wurde nicht gefunden."),
                 qPrintable(r.err));
        QVERIFY(r.out.isEmpty());
    }

    void ageAndSync()
    {
        TestDir left, right;
        left.file("a", "neu", TestDir::DefaultTime + 60);
        right.file("a", "alt");
        left.file("nur-links", "x");
        const Result r = run({"--age", "--sync", arg(left.path()), arg(right.path())});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QByteArray("a\t-->\ta\nnur-links\t? -->\t\n"));
        QFile copied(arg(right.path("a")));
        QVERIFY(copied.open(QIODevice::ReadOnly));
        QCOMPARE(copied.readAll(), QByteArray("neu"));
        QVERIFY(!QFile::exists(arg(right.path("nur-links"))));
        QCOMPARE(run({"--binary", "--sync", arg(left.path()), arg(right.path())}).exitCode, 2);
    }

    void syncFailureIsReported()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to run the program as another user");
        TestDir left, right;
        left.file("a", "neu", TestDir::DefaultTime + 60);
        right.file("a", "alt");
        QVERIFY(::chmod(left.path().constData(), 0755) == 0 && ::chmod(right.path().constData(), 0555) == 0);
        QProcess p;
        p.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", KALMORA_CLI, "--age", "--sync",
                            arg(left.path()), arg(right.path())});
        p.waitForFinished(60000);
        QCOMPARE(p.exitCode(), 2);
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(err.contains("Abgleichsfehler:\n\nDie Datei '" + arg(left.path("a")) + "'\nkonnte nicht nach '" +
                              arg(right.path("a")) + "'\nkopiert werden."),
                 qPrintable(err));
        QFile old(arg(right.path("a")));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("alt"));
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

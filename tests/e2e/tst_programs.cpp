#include "testdir.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// kalmora-cli and the window program run as a user or a scheduled job would run them, on real trees.
class TestPrograms : public QObject
{
    Q_OBJECT

    struct Result
    {
        int exitCode;
        QByteArray out;
        QString err;
    };
    // As nobody, when asked: root passes every permission check.
    static Result run(const QString &program, QStringList arguments, bool unprivileged = false)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", QDir::tempPath() + "/kalmora-test-config");
        p.setProcessEnvironment(env);
        if (unprivileged)
            arguments = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", program} + arguments;
        p.start(unprivileged ? QString("setpriv") : program, arguments);
        p.waitForFinished(60000);
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
                QString::fromUtf8(p.readAllStandardError())};
    }
    static Result cli(const QStringList &arguments, bool unprivileged = false)
    {
        return run(KALMORA_CLI, arguments, unprivileged);
    }
    static QString arg(const QByteArray &path) { return QString::fromUtf8(path); }
    static QByteArray contentOf(const QByteArray &path)
    {
        QFile f(arg(path));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private Q_SLOTS:
    void compare_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QByteArray>("rightA");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("out");
        QTest::newRow("identical") << "--binary" << QByteArray("alt") << 0
                                   << QByteArray("a.txt\t=\tA.TXT\ncaf\xe9\t=\tcaf\xe9\n");
        QTest::newRow("binary") << "--binary" << QByteArray("neu") << 1
                                << QByteArray("a.txt\t<>\tA.TXT\ncaf\xe9\t=\tcaf\xe9\n");
        QTest::newRow("age") << "--age" << QByteArray("neu") << 1 << QByteArray("a.txt\t<--\tA.TXT\ncaf\xe9\t=\tcaf\xe9\n");
    }
    void compare()
    {
        QFETCH(QString, mode);
        QFETCH(QByteArray, rightA);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, out);
        TestDir left, right;
        left.file("a.txt", "alt");
        right.file("A.TXT", rightA, TestDir::DefaultTime + (rightA == "alt" ? 0 : 60));
        left.file("caf\xe9", "x"); // names are written with their own bytes
        right.file("caf\xe9", "x");
        const Result r = cli({mode, arg(left.path()), arg(right.path())});
        QCOMPARE(r.exitCode, exitCode);
        QCOMPARE(r.out, out);
        if (exitCode == 0)
            QCOMPARE(r.err, QString("Ergebnis des Binärvergleichs von 2 Dateien:\n\nBeide Verzeichnisse sind "
                                    "vollkommen identisch!\n"));
    }

    void trouble_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing folder") << QStringList{"DIR", "/nonexistent/kalmora"}
                                        << "Der Ordner '/nonexistent/kalmora' existiert nicht.";
        QTest::newRow("one folder") << QStringList{"DIR"} << "bitte genau zwei Ordner angeben";
        QTest::newRow("unknown option") << QStringList{"--fast", "DIR", "DIR"} << "unbekannte Option";
        QTest::newRow("sync after binary") << QStringList{"--sync", "DIR", "DIR"} << "nur nach dem Altersvergleich";
        QTest::newRow("refused control file") << QStringList{"--batch", "DIR/fehlt.ini"}
                                              << " * Die Steuerdatei ''DIR/fehlt.ini'' wurde nicht gefunden.";
    }
    void trouble()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        TestDir dir;
        const Result r = cli(arguments.replaceInStrings("DIR", arg(dir.path())));
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(message.replace("DIR", arg(dir.path()))), qPrintable(r.err));
        QVERIFY(r.out.isEmpty());
        QVERIFY(cli({"--help"}).out.startsWith("Aufruf: kalmora-cli"));
        QCOMPARE(cli({"--version"}).out, QByteArray("kalmora-cli " KALMORA_VERSION "\n"));
    }

    void realPermissionErrors()
    {
        if (::geteuid() != 0 || QProcess::execute("setpriv", {"--version"}) != 0)
            QSKIP("needs root and setpriv to run the program as another user");
        TestDir left, right;
        // An unreadable pair alone is trouble too.
        left.file("p", "x");
        right.file("p", "x");
        QVERIFY(::chmod(left.path().constData(), 0755) == 0 && ::chmod(right.path().constData(), 0555) == 0);
        QVERIFY(::chmod(left.path("p").constData(), 0600) == 0);
        const Result unreadable = cli({"--binary", arg(left.path()), arg(right.path())}, true);
        QCOMPARE(unreadable.exitCode, 2);
        QCOMPARE(unreadable.out, QByteArray("p\t!\tp\n"));
        left.remove("p");
        right.remove("p");
        left.file("a", "neu", TestDir::DefaultTime + 60);
        left.file("locked/b", "2");
        right.file("a", "alt");
        QVERIFY(::chmod(left.path("locked").constData(), 0700) == 0);
        const Result compared = cli({arg(left.path()), arg(right.path())}, true);
        QCOMPARE(compared.exitCode, 2);
        QVERIFY(compared.err.startsWith("Zugriffsfehler 13 auf '" + arg(left.path("locked")) + "'\n"));
        QCOMPARE(compared.out, QByteArray("a\t<>\ta\n"));
        // The right folder refuses the copy, and an unreadable source cannot be copied: both reported,
        // passed over, the old files kept.
        QVERIFY(::chmod(right.path().constData(), 0777) == 0 && ::chmod(right.path("a").constData(), 0444) == 0);
        left.file("secret", "geheim", TestDir::DefaultTime + 60);
        right.file("secret", "alt");
        QVERIFY(::chmod(left.path("secret").constData(), 0600) == 0);
        const Result synced = cli({"--age", "--sync", arg(left.path()), arg(right.path())}, true);
        QCOMPARE(synced.exitCode, 2);
        for (const char *name : {"a", "secret"})
            QVERIFY2(synced.err.contains("Abgleichsfehler:\n\nDie Datei '" + arg(left.path(name)) + "'\nkonnte nicht nach '" +
                                         arg(right.path(name)) + "'\nkopiert werden."),
                     qPrintable(synced.err));
        QCOMPARE(contentOf(right.path("a")) + contentOf(right.path("secret")), QByteArray("altalt"));
        QVERIFY(QDir(arg(right.path())).entryList({".kalmora-*"}, QDir::Hidden | QDir::Files).isEmpty());
    }

    void synchronise()
    {
        TestDir left, right;
        left.file("a", "neu", TestDir::DefaultTime + 60);
        right.file("a", "alt");
        left.file("nur-links");
        const Result r = cli({"--age", "--sync", arg(left.path()), arg(right.path())});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QByteArray("a\t-->\ta\nnur-links\t? -->\t\n"));
        QCOMPARE(contentOf(right.path("a")), QByteArray("neu"));
        QVERIFY(!QFile::exists(arg(right.path("nur-links"))));
    }

    void endedInTheMiddleOfACopy_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<int>("signal");
        QTest::newRow("kalmora-cli, SIGTERM") << KALMORA_CLI << int(SIGTERM);
        QTest::newRow("kalmora, SIGTERM") << KALMORA_APP << int(SIGTERM);
        QTest::newRow("kalmora-cli, SIGKILL") << KALMORA_CLI << int(SIGKILL); // no program can clean up after this
    }
    void endedInTheMiddleOfACopy()
    {
        QFETCH(QString, program);
        QFETCH(int, signal);
        TestDir left, right, control;
        QByteArray big(256 << 20, 'n');
        left.file("big", big, TestDir::DefaultTime + 60);
        right.file("big", "the old content");
        control.file("steuer.ini", "[Pfade]\nLinks=" + left.path() + "\nRechts=" + right.path() +
                                       "\n[AutoStart]\nAltersvergleich=1\nAbgleich=1\nEnde=1\n");
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.start(program, program == KALMORA_CLI ? QStringList{"--age", "--sync", arg(left.path()), arg(right.path())}
                                                : QStringList{arg(control.path("steuer.ini"))});
        QVERIFY(p.waitForStarted());
        // Ended as soon as its temporary file shows: the target is the old file, whole.
        QString temporary;
        for (int i = 0; i < 20000 && temporary.isEmpty() && p.state() == QProcess::Running; ++i) {
            const QStringList found = QDir(arg(right.path())).entryList({".kalmora-*"}, QDir::Files | QDir::Hidden);
            temporary = found.value(0);
            QTest::qSleep(1);
        }
        ::kill(pid_t(p.processId()), signal);
        p.waitForFinished();
        QVERIFY2(!temporary.isEmpty(), "the copy ended before it could be ended");
        QCOMPARE(p.exitStatus(), QProcess::CrashExit);
        QCOMPARE(contentOf(right.path("big")), QByteArray("the old content"));
        const QStringList left_behind = QDir(arg(right.path())).entryList({".kalmora-*"}, QDir::Files | QDir::Hidden);
        if (signal != SIGKILL)
            QCOMPARE(left_behind, QStringList());
        // Run again, to the end: the complete new file.
        QCOMPARE(cli({"--age", "--sync", arg(left.path()), arg(right.path())}).exitCode, 0);
        QVERIFY(contentOf(right.path("big")) == big);
    }

    void outputThatFails_data()
    {
        QTest::addColumn<QString>("output");
        QTest::newRow("a full disk") << "/dev/full";
        QTest::newRow("a closed pipe") << "pipe";
    }
    void outputThatFails()
    {
        // Nothing that follows a failed output is done: above all no synchronisation.
        QFETCH(QString, output);
        TestDir left, right;
        left.file("a", "neu", TestDir::DefaultTime + 60);
        right.file("a", "alt");
        int pipe[2];
        QCOMPARE(::pipe(pipe), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            const int out = output == "pipe" ? pipe[1] : ::open("/dev/full", O_WRONLY);
            ::dup2(out, 1);
            ::close(pipe[0]);
            ::execl(KALMORA_CLI, KALMORA_CLI, "--age", "--sync", left.path().constData(), right.path().constData(),
                    static_cast<char *>(nullptr));
            ::_exit(127);
        }
        ::close(pipe[0]); // no reader is left
        ::close(pipe[1]);
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 2);
        QCOMPARE(contentOf(right.path("a")), QByteArray("alt"));
    }

    void ageAcrossTheClockChange()
    {
        // 02:10 CET comes forty minutes after 02:30 CEST, although its local stamp is the smaller.
        TestDir left, right;
        left.file("f", "later", 1792890600);
        right.file("f", "earlier", 1792888200);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TZ", "Europe/Berlin");
        p.setProcessEnvironment(env);
        p.start(KALMORA_CLI, {"--age", "--sync", arg(left.path()), arg(right.path())});
        QVERIFY(p.waitForFinished());
        QCOMPARE(p.readAllStandardOutput(), QByteArray("f\t-->\tf\n"));
        QCOMPARE(contentOf(right.path("f")), QByteArray("later"));
    }

    void batchRuns_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QByteArray>("controlFile");
        QTest::addColumn<QByteArray>("out");
        const QByteArray proposal("\t? <--\tb\na\t<--\ta\n");
        QTest::newRow("kalmora-cli") << KALMORA_CLI << QByteArray("steuer.ini") << proposal;
        QTest::newRow("kalmora-cli, a name that is no UTF-8") << KALMORA_CLI << QByteArray("steuer\xe9.ini") << proposal;
        QTest::newRow("kalmora") << KALMORA_APP << QByteArray("steuer.ini") << QByteArray(); // offscreen window
    }
    void batchRuns()
    {
        QFETCH(QString, program);
        QFETCH(QByteArray, controlFile);
        QFETCH(QByteArray, out);
        TestDir dir;
        dir.file("L/a", "alt");
        dir.file("R/a", "neu", TestDir::DefaultTime + 60);
        dir.file("R/b", "nur rechts");
        dir.file(controlFile, "[Pfade]\r\nLinks=" + dir.path("L") + "\r\nRechts=" + dir.path("R") +
                                  "\r\n[AutoStart]\r\nAltersvergleich=1\r\nZwischenablage=1\r\nAbgleich=1\r\nEnde=1\r\n");
        // Arguments of QProcess are texts: a name that is no UTF-8 reaches the program through a script.
        dir.file("run.sh", "exec '" + QFile::encodeName(program) + "' --batch '" + dir.path(controlFile) + "'\n");
        const Result r = program == KALMORA_APP ? run(program, {arg(dir.path(controlFile))})
                                                : run("sh", {arg(dir.path("run.sh"))});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, out);
        QCOMPARE(contentOf(dir.path("L/a")), QByteArray("neu"));
        QVERIFY(!QFile::exists(arg(dir.path("L/b")))); // a proposal only
    }
};

QTEST_GUILESS_MAIN(TestPrograms)
#include "tst_programs.moc"

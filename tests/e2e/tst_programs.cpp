#include "testdir.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <sys/stat.h>
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
        QByteArray status() const { return QByteArray::number(exitCode) + ':' + out; }
    };
    // As nobody, when asked: root passes every permission check.
    static Result run(QStringList arguments, bool unprivileged = false, const QString &program = KALMORA_CLI)
    {
        QProcess p;
        if (unprivileged)
            arguments = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", program} + arguments;
        p.start(unprivileged ? QString("setpriv") : program, arguments);
        p.waitForFinished(60000);
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
                QString::fromUtf8(p.readAllStandardError())};
    }
    static QString arg(const QByteArray &path) { return QString::fromUtf8(path); }
    static QByteArray contentOf(const QByteArray &path)
    {
        QFile f(arg(path));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static QStringList temporaries(const QByteArray &folder)
    {
        return QDir(arg(folder)).entryList({".kalmora-*"}, QDir::Files | QDir::Hidden);
    }

private Q_SLOTS:
    void initTestCase()
    {
        // Inherited by every program started: no window shown, no settings of the user's touched.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(QDir::tempPath() + "/kalmora-test-config"));
    }

    void exitStatusesAndColumns()
    {
        TestDir dir;
        dir.file("L/a.txt", "alt");
        dir.file("R/A.TXT", "neu", TestDir::DefaultTime + 60);
        dir.file("L/caf\xe9", "x"); // names are written with their own bytes
        dir.file("R/caf\xe9", "x");
        const QByteArray same("caf\xe9\t=\tcaf\xe9\n");
        // Run in this order by bash, in the folder that holds L and R.
        const QList<std::tuple<QString, int, QByteArray, QString>> cases{
            {"--binary L L", 0, "a.txt\t=\ta.txt\n" + same,
             "Binärvergleichs von 2 Dateien:\n\nBeide Verzeichnisse sind vollkommen identisch!\n"},
            {"--binary L R", 1, "a.txt\t<>\tA.TXT\n" + same, ""},
            {"--age L R", 1, "a.txt\t<--\tA.TXT\n" + same, ""},
            {"L /nonexistent/kalmora", 2, "", "Der Ordner '/nonexistent/kalmora' existiert nicht."},
            {"--sync L R", 2, "", "nur nach dem Altersvergleich"},
            {"--batch L/x.ini", 2, "", " * Die Steuerdatei ''L/x.ini'' wurde nicht gefunden."},
            // Nothing that follows a failed output is done: above all no synchronisation.
            {"--age --sync L R >/dev/full", 2, "", "nicht auf die Standardausgabe"},
            {"--age --sync L R | :; exit ${PIPESTATUS[0]}", 2, "", "nicht auf die Standardausgabe"},
            {"--age --sync L R", 0, "a.txt\t<--\tA.TXT\n" + same, ""}}; // the one that copies; 0: all done
        for (const auto &[command, exitCode, out, err] : cases) {
            const QString script = "cd \"$1\" && \"$0\" " + command;
            const Result r = run({"-c", script, KALMORA_CLI, arg(dir.path())}, false, "bash");
            QVERIFY2(r.err.contains(err), qPrintable(command + "\n" + r.err));
            QCOMPARE(r.status(), QByteArray::number(exitCode) + ':' + out);
            QCOMPARE(contentOf(dir.path("L/a.txt")), command == "--age --sync L R" ? "neu" : "alt");
        }
    }

    void realPermissionErrors()
    {
        if (::geteuid() != 0 || QProcess::execute("setpriv", {"--version"}) != 0)
            QSKIP("needs root and setpriv to run the program as another user");
        const auto setMode = [](const QByteArray &p, mode_t m) { return ::chmod(p.constData(), m) == 0; };
        TestDir left, right;
        // An unreadable pair alone is trouble too.
        left.file("p", "x");
        right.file("p", "x");
        QVERIFY(setMode(left.path(), 0755) && setMode(right.path(), 0777) && setMode(left.path("p"), 0600));
        QCOMPARE(run({"--binary", arg(left.path()), arg(right.path())}, true).status(), "2:p\t!\tp\n");
        // So is a folder that cannot be listed.
        left.file("a", "neu", TestDir::DefaultTime + 60);
        left.file("locked/b", "2");
        right.file("a", "alt");
        QVERIFY(setMode(left.path("p"), 0644) && setMode(left.path("locked"), 0700));
        const Result compared = run({arg(left.path()), arg(right.path())}, true);
        QCOMPARE(compared.status(), "2:a\t<>\ta\np\t=\tp\n");
        QVERIFY(compared.err.startsWith("Zugriffsfehler 13 auf '" + arg(left.path("locked")) + "'\n"));
        // A target that refuses the copy and a source that cannot be read: both reported, passed over, the
        // old files kept.
        left.file("secret", "geheim", TestDir::DefaultTime + 60);
        right.file("secret", "alt");
        QVERIFY(setMode(right.path("a"), 0444) && setMode(left.path("secret"), 0600));
        const Result synced = run({"--age", "--sync", arg(left.path()), arg(right.path())}, true);
        QCOMPARE(synced.exitCode, 2);
        for (const char *name : {"a", "secret"})
            QVERIFY2(synced.err.contains("Die Datei '" + arg(left.path(name)) + "'\nkonnte nicht nach '" +
                                         arg(right.path(name)) + "'\nkopiert"), qPrintable(synced.err));
        QCOMPARE(contentOf(right.path("a")) + contentOf(right.path("secret")), QByteArray("altalt"));
        QCOMPARE(temporaries(right.path()), QStringList());
    }

    void batchRunEndedAndRunAgain_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<int>("signal");
        QTest::newRow("kalmora-cli, SIGTERM") << KALMORA_CLI << int(SIGTERM);
        QTest::newRow("kalmora, SIGTERM") << KALMORA_APP << int(SIGTERM);
        // No program can clean up after this one.
        QTest::newRow("kalmora-cli, SIGKILL") << KALMORA_CLI << int(SIGKILL);
    }
    void batchRunEndedAndRunAgain()
    {
        QFETCH(QString, program);
        QFETCH(int, signal);
        const bool cli = program == KALMORA_CLI;
        const QByteArray controlFile = cli ? "steuer\xe9.ini" : "steuer.ini"; // a name that is no UTF-8
        const QByteArray big(256 << 20, 'n');
        TestDir dir;
        dir.file("L/big", "the old content");
        dir.file("R/big", big, TestDir::DefaultTime + 60);
        dir.file("R/b", "nur rechts");
        dir.file(controlFile, "[Pfade]\r\nLinks=" + dir.path("L") + "\r\nRechts=" + dir.path("R") +
                                  "\r\n[AutoStart]\r\nAltersvergleich=1\r\nZwischenablage=1\r\n"
                                  "Abgleich=1\r\nEnde=1\r\n");
        // Arguments of QProcess are texts: a name that is no UTF-8 reaches the program through a script.
        dir.file("run.sh", "exec '" + QFile::encodeName(program) + (cli ? "' --batch '" : "' '") +
                               dir.path(controlFile) + "'\n");
        QProcess p;
        p.start("sh", {arg(dir.path("run.sh"))});
        // Ended as soon as its temporary file shows: the target is the old file, whole.
        bool copying = false;
        for (int i = 0; i < 20000 && !copying && p.state() != QProcess::NotRunning; ++i) {
            copying = !temporaries(dir.path("L")).isEmpty();
            QTest::qSleep(1);
        }
        ::kill(pid_t(p.processId()), signal);
        p.waitForFinished();
        QVERIFY2(copying, "the copy ended before it could be ended");
        QCOMPARE(p.exitStatus(), QProcess::CrashExit);
        QCOMPARE(contentOf(dir.path("L/big")), QByteArray("the old content"));
        if (signal != SIGKILL)
            QCOMPARE(temporaries(dir.path("L")), QStringList());
        // Run again, to the end. The export's CR LF is LF on a terminal; the window's goes to the clipboard.
        const Result r = run({arg(dir.path("run.sh"))}, false, "sh");
        QCOMPARE(r.status(), cli ? "0:\t? <--\tb\nbig\t<--\tbig\n" : "0:");
        QVERIFY(contentOf(dir.path("L/big")) == big);
        QVERIFY(!QFile::exists(arg(dir.path("L/b")))); // a proposal only
    }
};

QTEST_GUILESS_MAIN(TestPrograms)
#include "tst_programs.moc"

#include "testdir.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <unistd.h>

// kalmora-cli and the window program run as a user or a scheduled job would run them, on real trees.
class TestPrograms : public QObject
{
    Q_OBJECT

    // Runs a bash script in folder; returns its exit status, ':' and its standard output. A program that
    // crashes under it ends it with a status over 128.
    static QByteArray run(const QByteArray &folder, const QString &script, QString *err = nullptr)
    {
        QProcess p;
        p.setWorkingDirectory(QString::fromUtf8(folder));
        p.start("bash", {"-c", script});
        p.waitForFinished(60000);
        if (err)
            *err = QString::fromUtf8(p.readAllStandardError());
        return QByteArray::number(p.exitCode()) + ':' + p.readAllStandardOutput();
    }
    static QStringList temporaries(const TestDir &dir)
    {
        return QDir(QString::fromUtf8(dir.path("L"))).entryList({".kalmora-*"}, QDir::Files | QDir::Hidden);
    }

private Q_SLOTS:
    void initTestCase()
    {
        // Inherited by every program started: the programs under test found by name, no window shown, no
        // settings of the user's touched.
        const QString programs = QFileInfo(KALMORA_CLI).path() + ':' + QFileInfo(KALMORA_APP).path();
        qputenv("PATH", QFile::encodeName(programs + ':' + qEnvironmentVariable("PATH")));
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(QDir::tempPath() + "/kalmora-test-config"));
    }

    void help() { QVERIFY(run(".", "kalmora-cli -h").startsWith("0:Aufruf: kalmora-cli")); }

    // Each in the folder that holds L and R: the exit status and output, a part of the error output and the
    // left a.txt afterwards.
    void exitStatusesAndColumns_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<QString>("err");
        QTest::addColumn<QByteArray>("left");
        const QByteArray same("caf\xe9\t=\tcaf\xe9\n");
        const auto row = [](const char *name, const QString &command, const QByteArray &status,
                            const QString &err, const QByteArray &left = "alt") {
            QTest::newRow(name) << command << status << err << left;
        };
        row("binary, differences", "--binary L R", "1:a.txt\t<>\tA.TXT\n" + same, "");
        row("missing folder", "L /nonexistent/kalmora", "2:",
            "Der Ordner '/nonexistent/kalmora' existiert nicht.");
        row("a file as a folder", "L ok.ini", "2:", "Der Ordner 'ok.ini' existiert nicht.");
        row("three folders", "L R R", "2:", "bitte genau zwei Ordner angeben");
        row("synchronisation, no age comparison", "--sync L R", "2:", "nur nach dem Altersvergleich");
        row("missing control file", "--batch L/x.ini", "2:",
            " * Die Steuerdatei ''L/x.ini'' wurde nicht gefunden.");
        row("control file and more", "--sync --batch L/x.ini", "2:",
            "--batch verträgt keine weiteren Angaben");
        // Nothing that follows a failed output is done, above all no synchronisation.
        const QString full = "nicht auf die Standardausgabe";
        row("full output, batch run", "--batch ./ok.ini >/dev/full", "2:", full);
        row("closed output, synchronisation", "--age --sync L R | :; exit ${PIPESTATUS[0]}", "2:", full);
        row("closed standard output", "--age --sync L R >&-", "2:", full);
        // Where no trash can be had (a data home that is a file): refused unless deleting for good is allowed.
        const QString trashless = "XDG_DATA_HOME=$PWD/ok.ini kalmora-cli ", noTrash = "--version >/dev/null && " + trashless;
        const QString inBatch = "--version >/dev/null && printf '%s\\n' Abgleich=1 ";
        const QByteArray toLeft = "a.txt\t<--\tA.TXT\n" + same;
        const QString refused = "Auf dem Laufwerk von 'L/a.txt' gibt es keinen Papierkorb. Die Datei bleibt, wie sie ist.\n";
        row("no trash", noTrash + "--age --sync L R", "2:" + toLeft, refused);
        row("no trash, --no-trash", noTrash + "--age --sync --no-trash L R", "0:" + toLeft, "", "neu");
        const QByteArray copied = "a.txt\t<--\tA.TXT\ncaf\xEF\xBF\xBD\t=\tcaf\xEF\xBF\xBD\n"; // as the clipboard's text
        row("no trash, batch run", inBatch + ">>ok.ini && " + trashless + "--batch ./ok.ini", "2:" + copied, refused);
        row("no trash, batch run, Papierkorb=0", inBatch + "Papierkorb=0 >>ok.ini && " + trashless + "--batch ./ok.ini",
            "0:" + copied, "", "neu");
        row("--no-trash without --sync", "--age --no-trash L R", "2:", "--no-trash gilt nur mit --sync");
        // Left out on both sides by the command line and by either side's file; an ignore file that cannot be
        // read is named and fails the run at its end.
        row("--exclude", "--exclude=caf'*' --exclude /nothing L R", "1:a.txt\t<>\tA.TXT\n", "");
        row("an ignore file", "--version >/dev/null && echo A.txt >R/.kalmoraignore && kalmora-cli L R", "0:" + same,
            "");
        row("an unreadable ignore file", "--version >/dev/null && mkdir R/.kalmoraignore && kalmora-cli L R",
            "2:a.txt\t<>\tA.TXT\n" + same, "Zugriffsfehler 22 auf 'R/.kalmoraignore'\n");
        row("--exclude and --batch", "--exclude x --batch ./ok.ini", "2:", "--batch verträgt keine weiteren Angaben");
        // The one that copies (0: all done), then the report alone, once, each line ended once.
        row("binary after a synchronisation", "--age --sync L R >/dev/null 2>&1 && kalmora-cli --binary L R",
            "0:a.txt\t=\tA.TXT\n" + same,
            "Ergebnis des Binärvergleichs von 2 Dateien:\n\nBeide Verzeichnisse sind vollkommen identisch!\n",
            "neu");
    }
    void exitStatusesAndColumns()
    {
        QFETCH(QString, command);
        QFETCH(QString, err);
        QFETCH(QByteArray, left);
        TestDir dir;
        dir.file("L/a.txt", "alt");
        dir.file("R/A.TXT", "neu", TestDir::DefaultTime + 60);
        dir.file("L/caf\xe9", "x"); // names are written with their own bytes
        dir.file("R/caf\xe9", "x");
        dir.file("ok.ini",
                 "[Pfade]\nLinks=L\nRechts=R\n[AutoStart]\nAltersvergleich=1\nZwischenablage=1\nEnde=1\n");
        QString printed;
        QTEST(run(dir.path(), "kalmora-cli " + command, &printed), "status");
        QVERIFY2(printed.contains(err), qPrintable(printed));
        if (QTest::currentDataTag() == QByteArray("binary after a synchronisation"))
            QCOMPARE(printed, err);
        QCOMPARE(run(dir.path(), "cat L/a.txt"), "0:" + left);
    }

    void realPermissionErrors()
    {
        if (::geteuid() != 0 || QProcess::execute("setpriv", {"--version"}) != 0)
            QSKIP("needs root and setpriv to run the program as another user");
        // As nobody: root passes every permission check. Each mode is set just before the run.
        const QString cli = "setpriv --reuid=65534 --regid=65534 --clear-groups kalmora-cli ";
        QString err;
        TestDir dir;
        // An unreadable pair alone is trouble too.
        dir.file("L/secret", "y", TestDir::DefaultTime + 60);
        dir.file("R/secret", "x");
        QCOMPARE(run(dir.path(), "chmod 777 . R && chmod 600 L/secret && " + cli + "--binary L R"),
                 "2:secret\t!\tsecret\n");
        dir.file("b.ini", "[Pfade]\nLinks=L\nRechts=R\n[AutoStart]\nBinärvergleich=1\nZwischenablage=1\n"
                          "Ende=1\n");
        QCOMPARE(run(dir.path(), cli + "--batch ./b.ini"), "2:secret\t!\tsecret\n"); // in a batch run too
        // So is a folder that cannot be listed, though the comparison finds differences.
        dir.file("L/a", "neu", TestDir::DefaultTime + 60);
        dir.file("L/locked/b", "2");
        dir.file("R/a", "alt");
        QCOMPARE(run(dir.path(), "chmod 700 L/locked && " + cli + "--age L R", &err),
                 "2:a\t-->\ta\nsecret\t-->\tsecret\n");
        QVERIFY(err.startsWith("Zugriffsfehler 13 auf 'L/locked'\n"));
        // Alone, a target that refuses the copy and a source that cannot be read: both reported, passed
        // over, the old files kept whole and no temporary file left.
        QCOMPARE(run(dir.path(), "rm -r L/locked && chmod 444 R/a && " + cli + "--age --sync L R", &err),
                 "2:a\t-->\ta\nsecret\t-->\tsecret\n");
        QVERIFY2(err.contains("Die Datei 'L/a'\nkonnte nicht nach 'R/a'\n") &&
                 err.contains("Die Datei 'L/secret'\nkonnte nicht nach 'R/secret'\n"), qPrintable(err));
        QCOMPARE(run(dir.path(), "cat R/a R/secret && ls -A R"), "0:altxa\nsecret\n");
    }

    // Copied by a user who is not the owner, a set-user-ID program loses the bit: nobody gets a set-ID
    // program of someone else's.
    void setIdBitsOnlyWithTheirOwner()
    {
        if (::geteuid() != 0 || QProcess::execute("setpriv", {"--version"}) != 0)
            QSKIP("needs root and setpriv to run the program as another user");
        TestDir dir;
        dir.file("L/tool", "neu", TestDir::DefaultTime + 60);
        dir.file("R/tool", "alt");
        QCOMPARE(run(dir.path(), "chmod 4755 L/tool && chmod 777 . R && chown 65534 R/tool && XDG_DATA_HOME=$PWD/data "
                                 "setpriv --reuid=65534 --regid=65534 --clear-groups kalmora-cli --age --sync L R"),
                 "0:tool\t-->\ttool\n");
        QCOMPARE(run(dir.path(), "stat -c '%U %a' R/tool && cat R/tool"), "0:nobody 755\nneu");
    }

    void batchRunEndedAndRunAgain_data()
    {
        QTest::addColumn<bool>("cli");
        QTest::addColumn<int>("signal");
        QTest::newRow("kalmora-cli, SIGTERM") << true << int(SIGTERM);
        QTest::newRow("kalmora, SIGTERM") << false << int(SIGTERM);
        QTest::newRow("kalmora-cli, SIGKILL") << true << int(SIGKILL); // no program can clean up after this
    }
    void batchRunEndedAndRunAgain()
    {
        QFETCH(bool, cli);
        QFETCH(int, signal);
        // The command-line program is given a control file name that is no UTF-8.
        const QString command = cli ? "kalmora-cli --batch ./$'steuer\\xe9.ini'" : "kalmora ./steuer.ini";
        TestDir dir;
        dir.file("L/big", "the old content");
        dir.file("R/big", QByteArray(256 << 20, 'n'), TestDir::DefaultTime + 60);
        dir.file("R/b", "nur rechts");
        dir.file(cli ? "steuer\xe9.ini" : "steuer.ini", "[Pfade]\r\nLinks=L\r\nRechts=R\r\n[AutoStart]\r\n"
                 "Altersvergleich=1\r\nZwischenablage=1\r\nAbgleich=1\r\nEnde=1\r\n");
        QProcess p;
        p.setWorkingDirectory(QString::fromUtf8(dir.path()));
        p.start("bash", {"-c", "exec " + command});
        // Ended as soon as its temporary file shows: the target is the old file, whole.
        for (int i = 0; i < 20000 && p.state() != QProcess::NotRunning && temporaries(dir).isEmpty(); ++i)
            QTest::qSleep(1);
        const bool copying = !temporaries(dir).isEmpty();
        ::kill(pid_t(p.processId()), signal);
        p.waitForFinished();
        QVERIFY2(copying && p.exitStatus() == QProcess::CrashExit, "not ended by the signal while copying");
        QCOMPARE(run(dir.path(), "cat L/big"), "0:the old content");
        QCOMPARE(temporaries(dir).size(), int(signal == SIGKILL)); // what only a killed program leaves
        // Run again, to the end. The export's CR LF is LF on a terminal; the window's goes to the clipboard.
        QCOMPARE(run(dir.path(), command), cli ? "0:\t? <--\tb\nbig\t<--\tbig\n" : "0:");
        QCOMPARE(run(dir.path(), "cmp L/big R/big && ls L"), "0:big\n"); // b: a proposal only
    }
};

QTEST_GUILESS_MAIN(TestPrograms)
#include "tst_programs.moc"

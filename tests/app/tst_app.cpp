#include "testdir.h"

#include <QFile>
#include <QProcess>
#include <QTest>

// The window program run unattended by a control file, as a scheduled job would run it.
class TestApp : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void batchRunEndsTheProgram()
    {
        TestDir dir;
        dir.file("L/a", "neu", TestDir::DefaultTime + 60);
        dir.file("R/a", "alt");
        dir.file("steuer.ini", "[Pfade]\nLinks=" + dir.path("L") + "\nRechts=" + dir.path("R") +
                                   "\n[AutoStart]\nAltersvergleich=1\nZwischenablage=1\nAbgleich=1\nEnde=1\n");
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", QString::fromUtf8(dir.path("config")));
        p.setProcessEnvironment(env);
        p.start(KALMORA_APP, {QString::fromUtf8(dir.path("steuer.ini"))});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QFile copied(QString::fromUtf8(dir.path("R/a")));
        QVERIFY(copied.open(QIODevice::ReadOnly));
        QCOMPARE(copied.readAll(), QByteArray("neu"));
    }
};

QTEST_GUILESS_MAIN(TestApp)
#include "tst_app.moc"

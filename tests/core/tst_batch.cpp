#include "core.h"
#include "fakehost.h"
#include "faultyfilesystem.h"
#include "inifile.h"
#include "names.h"
#include "testdir.h"

#include <QDir>
#include <QRegularExpression>
#include <QTest>

#include <ctime>

using namespace common;

namespace {

const QChar CR(13);

struct Fixture
{
    TestDir dir;
    FakeHost host;
    FaultyFileSystem fs;
    Core core{host, fs};

    Fixture()
    {
        dir.file("links/a", "1");
        dir.file("rechts/a", "2", TestDir::DefaultTime + 60);
        dir.file("rechts/b", "3");
    }
    // Writes a control file with both folders and the given AutoStart lines, and returns its path.
    NativePath control(const QByteArray &autoStart, const QByteArray &paths = {})
    {
        const QByteArray pathLines = paths.isEmpty() ? "Links=" + dir.path("links") + "\nRechts=" + dir.path("rechts") + "\n"
                                                     : paths;
        dir.file("steuer.ini", "[Pfade]\n" + pathLines + "[AutoStart]\n" + autoStart);
        return dir.path("steuer.ini");
    }
    QStringList problems() const
    {
        if (host.messages.isEmpty() || !host.messages.first().text.startsWith("Sie haben Kalmora im Batch-Modus"))
            return {};
        const QString text = host.messages.first().text;
        const QString head = "Dabei kam es zu folgendem Fehler:" + QString(CR) + CR;
        const QString tail = QString(CR) + "Der Batch-Modus wird daher unterbrochen.";
        const qsizetype from = text.indexOf(head) + head.size();
        return text.mid(from, text.indexOf(tail) - from).split(CR, Qt::SkipEmptyParts);
    }
};

} // namespace

class TestBatch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        tzset();
    }

    void profileValues_data()
    {
        QTest::addColumn<QString>("ini");
        QTest::addColumn<QString>("value");
        QTest::newRow("plain") << "[AutoStart]\nEnde=1\n" << "1";
        QTest::newRow("names without regard to case") << "[autostart]\nENDE=1\n" << "1";
        QTest::newRow("blanks and CR LF") << "[AutoStart]\r\n  Ende  =  2 \r\n" << "2";
        QTest::newRow("double quotes") << "[AutoStart]\nEnde=\" 3 \"\n" << " 3 ";
        QTest::newRow("single quotes") << "[AutoStart]\nEnde='4'\n" << "4";
        QTest::newRow("unmatched quote") << "[AutoStart]\nEnde=\"5\n" << "\"5";
        QTest::newRow("first key wins") << "[AutoStart]\nEnde=6\nEnde=7\n" << "6";
        QTest::newRow("first section wins") << "[AutoStart]\nX=1\n[AutoStart]\nEnde=8\n" << "";
        QTest::newRow("other section") << "[Pfade]\nEnde=9\n" << "";
        QTest::newRow("before any section") << "Ende=9\n[AutoStart]\n" << "";
        QTest::newRow("equals in the value") << "[AutoStart]\nEnde=a=b\n" << "a=b";
        QTest::newRow("missing") << "" << "";
        QTest::newRow("comment") << "[AutoStart]\n;Ende=1\n" << "";
    }
    void profileValues()
    {
        QFETCH(QString, ini);
        QFETCH(QString, value);
        QCOMPARE(ProfileValue(ini, "AutoStart", "Ende", QString()), value);
    }

    void longValuesAreCut()
    {
        const QString ini = "[S]\nK=" + QString(40000, 'x');
        QCOMPARE(ProfileValue(ini, "S", "K", QString()).size(), 32766);
    }

    void controlFileEncodings()
    {
        const QByteArray cp1252 = "[AutoStart]\nBin\xe4rvergleich=1\nX=\x80\n";
        QCOMPARE(ProfileValue(DecodeControlFile(cp1252), "AutoStart", "Binärvergleich", {}), QString("1"));
        QCOMPARE(ProfileValue(DecodeControlFile(cp1252), "AutoStart", "X", {}), QString(QChar(0x20AC)));
        const QByteArray utf8 = "\xEF\xBB\xBF[AutoStart]\nBin\xc3\xa4rvergleich=2\n";
        QCOMPARE(ProfileValue(DecodeControlFile(utf8), "autostart", "BINÄRVERGLEICH", {}), QString("2"));
    }

    void leadingNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("number");
        QTest::newRow("one") << "1" << 1.0;
        QTest::newRow("minus one") << "-1" << -1.0;
        QTest::newRow("half") << "0.5" << 0.5;
        QTest::newRow("point first") << ".5" << 0.5;
        QTest::newRow("zero") << "0" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("ja") << "ja" << 0.0;
        QTest::newRow("on") << "on" << 0.0;
        QTest::newRow("trailing text") << "3abc" << 3.0;
        QTest::newRow("blanks anywhere") << " 1 2\t" << 12.0;
        QTest::newRow("exponent") << "1e3" << 1000.0;
        QTest::newRow("exponent D") << "2D2" << 200.0;
        QTest::newRow("bare exponent") << "7e" << 7.0;
        QTest::newRow("hex") << "&H10" << 16.0;
        QTest::newRow("hex lower") << "&h1f" << 31.0;
        QTest::newRow("octal") << "&O17" << 15.0;
        QTest::newRow("hex without digits") << "&Hxyz" << 0.0;
        QTest::newRow("ampersand alone") << "&" << 0.0;
    }
    void leadingNumbers()
    {
        QFETCH(QString, text);
        QFETCH(double, number);
        QCOMPARE(LeadingNumber(text), number);
    }

    void emptyCommandLine()
    {
        Fixture f;
        f.core.RunBatchMode("   ");
        QVERIFY(f.host.messages.isEmpty());
        QVERIFY(!f.core.BatchMode());
        QVERIFY(f.host.events.isEmpty());
    }

    void controlFileNames()
    {
        Fixture f;
        f.core.RunBatchMode("gibtsnicht.ini"); // a bare name is looked for beside the program
        QCOMPARE(f.problems(),
                 QStringList{" * Die Steuerdatei ''" + QString::fromUtf8(AppFolder()) + "gibtsnicht.ini'' wurde nicht gefunden."});
        QCOMPARE(f.host.messages[0].icon, Host::Icon::Critical);
        QVERIFY(!f.core.BatchMode());

        Fixture g;
        g.core.RunBatchMode(QString::fromUtf8(g.dir.path()));
        QCOMPARE(g.problems(), QStringList{" * Der angegebene Name ''" + QString::fromUtf8(g.dir.path()) +
                                           "''bezeichnet ein Verzeichnis, keine Datei."});

        // A name with a folder in it is taken relative to the working folder.
        Fixture h;
        h.control("Altersvergleich=1\n");
        const QString before = QDir::currentPath();
        QDir::setCurrent(QString::fromUtf8(h.dir.path("links")));
        h.core.RunBatchMode("../steuer.ini");
        QDir::setCurrent(before);
        QVERIFY2(h.problems().isEmpty(), qPrintable(h.problems().join('|')));
        QCOMPARE(h.core.list().count(), 2);
    }

    void wholeMessage()
    {
        Fixture f;
        const NativePath ini = f.control("Binärvergleich=1\nAltersvergleich=1\n", "Rechts=" + f.dir.path("rechts/a") + "\n");
        f.core.RunBatchMode(QString::fromUtf8(ini));
        QCOMPARE(f.host.messageTexts(),
                 QStringList{"Sie haben Kalmora im Batch-Modus aufgerufen. Dabei kam es zu folgendem Fehler:" + QString(CR) +
                             CR + " * Der Verzeichnispfad '''' für die linke Spalte existiert nicht." + CR +
                             " * Der Verzeichnispfad ''" + QString::fromUtf8(f.dir.path("rechts/a")) +
                             "/'' für die rechte Spalte bezeichnet eine Datei, keinen Ordner." + CR +
                             " * Sie haben sowohl Binär- als auch Altersvergleich angefordert - diese schliessen "
                             "einander aus." +
                             CR + CR +
                             "Der Batch-Modus wird daher unterbrochen. Bitte überprüfen Sie Ihre Angaben und starten "
                             "Sie erneut."});
        QCOMPARE(f.core.list().count(), 0); // nothing loaded
        QVERIFY(!f.host.events.contains("mode:binary"));
        QVERIFY(!f.core.BatchMode());
    }

    void combinations_data()
    {
        QTest::addColumn<QByteArray>("autoStart");
        QTest::addColumn<QStringList>("problems");
        const QString rule1 = " * Sie haben sowohl Binär- als auch Altersvergleich angefordert - diese schliessen einander aus.";
        const QString rule2 = " * Sie haben einen Abgleich ohne Angabe des Vergleichstyps angefordert.";
        const QString rule3 = " * Sie haben keinen Vergleichstyps eingestellt, sondern nur das autom. Ende des Programms.";
        const QString rule4 = " * Sie haben eine Kopie in die Zwischenablage ohne Angabe des Vergleichstyps angefordert.";
        const QString rule5 = " * In der jetzigen Einstellung haben Sie nichts vom Vergleichsergebnis, da das Programm "
                              "ohne Abgleich und/oder Kopie in die Zwischenablage enden soll.";
        const QString rule6 = " * Ein Abgleich ist für Binärvergleiche nicht verfügbar.";
        QTest::newRow("both comparisons and sync") << QByteArray("Binärvergleich=1\nAltersvergleich=1\nAbgleich=1\n")
                                                   << QStringList{rule1, rule6};
        QTest::newRow("no comparison, three requests")
            << QByteArray("Abgleich=1\nEnde=1\nZwischenablage=1\n") << QStringList{rule2, rule3, rule4};
        QTest::newRow("only the end") << QByteArray("Ende=1\n") << QStringList{rule3};
        QTest::newRow("age and end") << QByteArray("Altersvergleich=1\nEnde=1\n") << QStringList{rule5};
        QTest::newRow("binary and sync") << QByteArray("Binärvergleich=-1\nAbgleich=0.5\n") << QStringList{rule6};
        QTest::newRow("ja is off") << QByteArray("Binärvergleich=ja\nEnde=1\n") << QStringList{rule3};
        QTest::newRow("hex is on") << QByteArray("Binärvergleich=&H10\nEnde=2\n") << QStringList{rule5};
        QTest::newRow("fine") << QByteArray("Altersvergleich=1\nAbgleich=1\nEnde=1\n") << QStringList{};
    }
    void combinations()
    {
        QFETCH(QByteArray, autoStart);
        QFETCH(QStringList, problems);
        Fixture f;
        f.core.RunBatchMode(QString::fromUtf8(f.control(autoStart)));
        QCOMPARE(f.problems(), problems);
    }

    void ageClipboardAndEnd()
    {
        Fixture f;
        f.host.binary = true;
        f.core.RunBatchMode(QString::fromUtf8(f.control("Altersvergleich=1\nZwischenablage=1\nEnde=1\n")));
        QVERIFY(f.host.messages.isEmpty()); // no report when the program is to end
        QCOMPARE(f.host.events.filter(QRegularExpression("^(mode|clipboard|end|message)")),
                 (QStringList{"mode:age", "clipboard", "end"}));
        QCOMPARE(f.host.clipboard, QString("\t? <--\tb\r\na\t<--\ta\r\n"));
        QVERIFY(f.host.ended);
        QVERIFY(!f.host.statusHistory.contains("Status: Altersvergleich fertig!"));
    }

    void binaryAndClipboardStaysOpen()
    {
        Fixture f;
        f.host.sofortStart = true; // a batch right load never starts the comparison by itself
        f.core.RunBatchMode(QString::fromUtf8(f.control("Binärvergleich=1\nZwischenablage=1\n")));
        QCOMPARE(f.host.events.filter(QRegularExpression("^(mode|clipboard|end|message)")),
                 (QStringList{"mode:binary", "message:Ergebnis des Binärvergleichs von 2 Dateien:", "clipboard"}));
        QVERIFY(!f.host.ended);
        QVERIFY(!f.core.BatchMode());
    }

    void loadsWithoutComparing()
    {
        Fixture f;
        f.core.RunBatchMode(QString::fromUtf8(f.control("")));
        QVERIFY(f.host.messages.isEmpty());
        QCOMPARE(f.core.list().count(), 2);
        QCOMPARE(f.core.LeftPath(), f.dir.path("links") + '/');
        QCOMPARE(f.core.RightPath(), f.dir.path("rechts") + '/');
        QCOMPARE(f.core.list().row(0).marker, Marker::None);
    }

    void emptyLeftFolder()
    {
        Fixture f;
        f.dir.folder("leer/sub");
        f.core.RunBatchMode(QString::fromUtf8(f.control(
            "Altersvergleich=1\nAbgleich=1\nEnde=1\n", "Links=" + f.dir.path("leer") + "\nRechts=" + f.dir.path("rechts") + "\n")));
        QVERIFY(f.host.messages.isEmpty());
        QCOMPARE(f.core.LeftPath(), f.dir.path("rechts") + '/'); // the right folder went into the left column
        QVERIFY(f.fs.changes.isEmpty());                         // orphans' proposals are not carried out
    }

    void synchronises()
    {
        Fixture f;
        f.core.RunBatchMode(QString::fromUtf8(f.control("Altersvergleich=1\nAbgleich=1\nEnde=1\n")));
        QVERIFY(f.host.messages.isEmpty());
        QFile copied(QString::fromUtf8(f.dir.path("links/a")));
        QVERIFY(copied.open(QIODevice::ReadOnly));
        QCOMPARE(copied.readAll(), QByteArray("2"));
        QVERIFY(!QFile::exists(QString::fromUtf8(f.dir.path("links/b")))); // only a proposal
        QVERIFY(f.host.ended);
    }
};

QTEST_GUILESS_MAIN(TestBatch)
#include "tst_batch.moc"

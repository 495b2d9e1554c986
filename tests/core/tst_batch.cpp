#include "corefixture.h"
#include "inifile.h"
#include "names.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

using namespace common;

namespace {

const QString Cr(CR); // as text, for sums of literals

/// A left and a right folder, and a control file naming them in a folder of its own.
struct Fixture : CoreFixture
{
    TestDir controlDir;

    Fixture()
    {
        left.file("a", "1");
        right.file("a", "2", TestDir::DefaultTime + 60);
        right.file("b", "3");
    }
    QString control(const QByteArray &autoStart, const QByteArray &paths = {})
    {
        const QByteArray pathLines = paths.isEmpty() ? "Links=" + left.path() + "\nRechts=" + right.path() + "\n" : paths;
        controlDir.file("steuer.ini", "[Pfade]\n" + pathLines + "[AutoStart]\n" + autoStart);
        return QString::fromUtf8(controlDir.path("steuer.ini"));
    }
    QStringList problems() const
    {
        const QString text = host.messages.isEmpty() ? QString() : host.messages.first().text;
        if (!text.startsWith("Sie haben Kalmora im Batch-Modus"))
            return {};
        const QString head = "Dabei kam es zu folgendem Fehler:" + Cr + Cr;
        const qsizetype from = text.indexOf(head) + head.size();
        return text.mid(from, text.indexOf(Cr + "Der Batch-Modus wird daher") - from).split(Cr, Qt::SkipEmptyParts);
    }
};

} // namespace

class TestBatch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void profileValues_data()
    {
        QTest::addColumn<QString>("ini");
        QTest::addColumn<QString>("value");
        QTest::newRow("names without regard to case") << "[autostart]\nENDE=1\n" << "1";
        QTest::newRow("blanks and Cr LF") << "[AutoStart]\r\n  Ende  =  2 \r\n" << "2";
        QTest::newRow("double quotes") << "[AutoStart]\nEnde=\" 3 \"\n" << " 3 ";
        QTest::newRow("single quotes") << "[AutoStart]\nEnde='4'\n" << "4";
        QTest::newRow("unmatched quote") << "[AutoStart]\nEnde=\"5\n" << "\"5";
        QTest::newRow("first key wins") << "[AutoStart]\nEnde=6\nEnde=7\n" << "6";
        QTest::newRow("first section wins") << "[AutoStart]\nX=1\n[AutoStart]\nEnde=8\n" << "";
        QTest::newRow("other section") << "Ende=9\n[Pfade]\nEnde=9\n[AutoStart]\n" << "";
        QTest::newRow("equals in the value") << "[AutoStart]\nEnde=a=b\n" << "a=b";
        QTest::newRow("comment") << "[AutoStart]\n;Ende=1\n" << "";
    }
    void profileValues()
    {
        QFETCH(QString, ini);
        QFETCH(QString, value);
        QCOMPARE(ReadIniString("AutoStart", "Ende", QString(), ini), value);
    }

    void controlFileText()
    {
        QCOMPARE(ReadIniString("S", "K", QString(), "[S]\nK=" + QString(40000, 'x')).size(), 32766);
        const QByteArray cp1252 = "[AutoStart]\nBin\xe4rvergleich=1\nX=\x80\n";
        QCOMPARE(ReadIniString("AutoStart", "Binärvergleich", {}, DecodeControlFile(cp1252)), QString("1"));
        QCOMPARE(ReadIniString("AutoStart", "X", {}, DecodeControlFile(cp1252)), QString(QChar(0x20AC)));
        const QByteArray utf8 = "\xEF\xBB\xBF[AutoStart]\nBin\xc3\xa4rvergleich=2\n";
        QCOMPARE(ReadIniString("autostart", "BINÄRVERGLEICH", {}, DecodeControlFile(utf8)), QString("2"));
    }

    void leadingNumbers()
    {
        const QList<QPair<QString, double>> cases{
            {"1", 1},    {"-1", -1}, {"0.5", 0.5},  {".5", 0.5}, {"0", 0},     {"", 0},       {"ja", 0},
            {"3abc", 3}, {" 1 2\t", 12}, {"1e3", 1000}, {"2D2", 200}, {"7e", 7}, {"&H10", 16}, {"&h1f", 31},
            {"&O17", 15}, {"&Hxyz", 0}, {"&", 0}, {"1.5.5", 1.5}, {"--1", 0}};
        for (const auto &[text, number] : cases)
            QVERIFY2(LeadingNumber(text) == number, qPrintable(text));
    }

    void controlFileNames()
    {
        Fixture f;
        f.core.RunBatchMode(QString("   "));
        QVERIFY(f.host.events.isEmpty());
        f.core.RunBatchMode(QString("gibtsnicht.ini")); // a bare name is looked for beside the program
        QCOMPARE(f.problems(), QStringList{" * Die Steuerdatei ''" + QString::fromUtf8(AppFolder()) +
                                           "gibtsnicht.ini'' wurde nicht gefunden."});
        QCOMPARE(f.host.messages[0].icon, Host::Icon::Critical);
        QVERIFY(!f.core.BatchMode());

        Fixture g;
        g.core.RunBatchMode(QString::fromUtf8(g.left.path()));
        QCOMPARE(g.problems(), QStringList{" * Der angegebene Name ''" + QString::fromUtf8(g.left.path()) +
                                           "''bezeichnet ein Verzeichnis, keine Datei."});

        Fixture h; // a name with a folder in it is taken relative to the working folder
        h.control("Altersvergleich=1\nAbgleich=1\n");
        const QString before = QDir::currentPath();
        QDir::setCurrent(QString::fromUtf8(h.left.path()));
        h.core.RunBatchMode("../" + QString::fromUtf8(h.controlDir.path()).section('/', -1) + "/steuer.ini");
        QDir::setCurrent(before);
        QVERIFY(h.host.messages.isEmpty());
        QCOMPARE(h.list.count(), 0); // compared and synchronised
    }

    void wholeMessage()
    {
        Fixture f;
        f.core.RunBatchMode(f.control("Binärvergleich=1\nAltersvergleich=1\n", "Rechts=" + f.right.path("a") + "\n"));
        QCOMPARE(f.host.messageTexts(),
                 QStringList{"Sie haben Kalmora im Batch-Modus aufgerufen. Dabei kam es zu folgendem Fehler:" + Cr + Cr +
                             " * Der Verzeichnispfad '''' für die linke Spalte existiert nicht." + Cr +
                             " * Der Verzeichnispfad ''" + QString::fromUtf8(f.right.path("a")) +
                             "/'' für die rechte Spalte bezeichnet eine Datei, keinen Ordner." + Cr +
                             " * Sie haben sowohl Binär- als auch Altersvergleich angefordert - diese schliessen "
                             "einander aus." +
                             Cr + Cr +
                             "Der Batch-Modus wird daher unterbrochen. Bitte überprüfen Sie Ihre Angaben und starten "
                             "Sie erneut."});
        QCOMPARE(f.list.count(), 0); // nothing loaded, no option changed
        QVERIFY(f.host.recorded("mode:").isEmpty());
        QVERIFY(!f.core.BatchMode());
    }

    void combinations_data()
    {
        QTest::addColumn<QByteArray>("autoStart");
        QTest::addColumn<QList<int>>("rules");
        QTest::newRow("both comparisons and sync") << QByteArray("Binärvergleich=1\nAltersvergleich=1\nAbgleich=1\n")
                                                   << QList<int>{1, 6};
        QTest::newRow("no comparison, three requests")
            << QByteArray("Abgleich=1\nEnde=1\nZwischenablage=1\n") << QList<int>{2, 3, 4};
        QTest::newRow("only the end") << QByteArray("Ende=1\n") << QList<int>{3};
        QTest::newRow("age and end") << QByteArray("Altersvergleich=1\nEnde=1\n") << QList<int>{5};
        QTest::newRow("binary and sync") << QByteArray("Binärvergleich=-1\nAbgleich=0.5\n") << QList<int>{6};
        QTest::newRow("ja is off") << QByteArray("Binärvergleich=ja\nEnde=1\n") << QList<int>{3};
        QTest::newRow("2 is on") << QByteArray("Binärvergleich=2\nEnde=&H10\n") << QList<int>{5};
        QTest::newRow("fine") << QByteArray("Altersvergleich=1\nAbgleich=1\nEnde=1\n") << QList<int>{};
    }
    void combinations()
    {
        QFETCH(QByteArray, autoStart);
        QFETCH(QList<int>, rules);
        const QStringList lines{
            "",
            " * Sie haben sowohl Binär- als auch Altersvergleich angefordert - diese schliessen einander aus.",
            " * Sie haben einen Abgleich ohne Angabe des Vergleichstyps angefordert.",
            " * Sie haben keinen Vergleichstyps eingestellt, sondern nur das autom. Ende des Programms.",
            " * Sie haben eine Kopie in die Zwischenablage ohne Angabe des Vergleichstyps angefordert.",
            " * In der jetzigen Einstellung haben Sie nichts vom Vergleichsergebnis, da das Programm ohne Abgleich "
            "und/oder Kopie in die Zwischenablage enden soll.",
            " * Ein Abgleich ist für Binärvergleiche nicht verfügbar."};
        QStringList expected;
        for (int rule : rules)
            expected << lines[rule];
        Fixture f;
        f.core.RunBatchMode(f.control(autoStart));
        QCOMPARE(f.problems(), expected);
    }

    void runs_data()
    {
        QTest::addColumn<QByteArray>("autoStart");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QString>("leftA"); // the left file "a" afterwards
        QTest::newRow("age, clipboard, end: no report")
            << QByteArray("Altersvergleich=1\nZwischenablage=1\nEnde=1\n") << QStringList{"mode:age", "clipboard", "end"}
            << "\t? <--\tb\r\na\t<--\ta\r\n" << "1";
        QTest::newRow("binary and clipboard: report, stays open")
            << QByteArray("Binärvergleich=1\nZwischenablage=1\n")
            << QStringList{"mode:binary", "message:Ergebnis des Binärvergleichs von 2 Dateien:", "clipboard"}
            << "\t?\tb\r\na\t<>\ta\r\n" << "1";
        QTest::newRow("no request: loads both, compares nothing") << QByteArray() << QStringList{} << "" << "1";
        QTest::newRow("sync, then the end") << QByteArray("Altersvergleich=1\nAbgleich=1\nEnde=1\n")
                                            << QStringList{"mode:age", "end"} << "" << "2";
        QTest::newRow("sync: stays open") << QByteArray("Altersvergleich=1\nAbgleich=1\n") << QStringList{"mode:age"}
                                          << "" << "2";
    }
    void runs()
    {
        QFETCH(QByteArray, autoStart);
        QFETCH(QStringList, steps);
        QFETCH(QString, clipboard);
        QFETCH(QString, leftA);
        Fixture f;
        f.host.sofortStart = true; // a batch right load never starts the comparison by itself
        f.core.RunBatchMode(f.control(autoStart));
        QCOMPARE(f.host.events.filter(QRegularExpression("^(mode|clipboard|end|message)")), steps);
        QCOMPARE(f.host.clipboard, clipboard);
        QFile a(QString::fromUtf8(f.left.path("a")));
        QVERIFY(a.open(QIODevice::ReadOnly));
        QCOMPARE(QString(a.readAll()), leftA);
        QCOMPARE(f.core.LeftPath(), f.left.path() + '/');
        QCOMPARE(f.core.BatchMode(), f.host.ended); // over, unless the program ended
    }

    void controlFileReadOnceAndWhole_data()
    {
        QTest::addColumn<bool>("tooLarge");
        // The right folder's path straddles the first MiB: read whole, it names the folder and not a prefix.
        QTest::newRow("a path across the first MiB") << false;
        QTest::newRow("larger than any control file") << true;
    }
    void controlFileReadOnceAndWhole()
    {
        QFETCH(bool, tooLarge);
        Fixture f;
        const QString name = f.control("Altersvergleich=1\nZwischenablage=1\n");
        QFile file(name);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QByteArray sections = file.readAll();
        const qsizetype middle = sections.indexOf("Rechts=") + 7 + f.right.path().size() / 2;
        const qsizetype padding = tooLarge ? 16 << 20 : (1 << 20) - middle;
        file.resize(0);
        file.write("; " + QByteArray(padding - 3, 'x') + "\n" + sections);
        file.close();
        f.core.RunBatchMode(name);
        if (!tooLarge) {
            QCOMPARE(f.problems(), QStringList());
            QCOMPARE(f.core.RightPath(), f.right.path() + '/');
            QCOMPARE(f.fs.opens, 1); // one reading for every setting; the age comparison opens no file
        } else {
            QCOMPARE(f.problems(), QStringList{" * Die Steuerdatei ''" + name +
                                               "'' ist größer als 16 MiB und damit keine Steuerdatei."});
            QCOMPARE(f.list.count(), 0);
        }
    }

    void stopsBeforeItsNextStep()
    {
        // The program is to end (the window closed during the load): nothing is compared or synchronised.
        Fixture f;
        f.host.onYield = [&] { f.host.stop = true; };
        f.core.RunBatchMode(f.control("Altersvergleich=1\nZwischenablage=1\nAbgleich=1\nEnde=1\n"));
        QVERIFY(f.host.events.filter(QRegularExpression("^(clipboard|end|message)")).isEmpty());
        QVERIFY(f.fs.changes.isEmpty());
        QVERIFY(!f.core.BatchMode());
    }

    void emptyLeftFolder()
    {
        Fixture f;
        TestDir empty;
        empty.folder("sub");
        f.core.RunBatchMode(f.control("Altersvergleich=1\nAbgleich=1\nEnde=1\n",
                                      "Links=" + empty.path() + "\nRechts=" + f.right.path() + "\n"));
        QVERIFY(f.host.messages.isEmpty());
        QCOMPARE(f.core.LeftPath(), f.right.path() + '/'); // the right folder went into the left column
        QVERIFY(f.fs.changes.isEmpty());                   // orphans' proposals are not carried out
    }
};

QTEST_GUILESS_MAIN(TestBatch)
#include "tst_batch.moc"

#include "corefixture.h"
#include "inifile.h"
#include "names.h"

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
    QString control(const QByteArray &autoStart, QByteArray paths = {})
    {
        if (paths.isEmpty())
            paths = "Links=" + left.path() + "\nRechts=" + right.path() + "\n";
        controlDir.file("steuer.ini", "[Pfade]\n" + paths + "[AutoStart]\n" + autoStart);
        return QString::fromUtf8(controlDir.path("steuer.ini"));
    }
};

/// The batch mode's one message, listing these problems.
QStringList refusal(const QStringList &problems)
{
    return {"Sie haben Kalmora im Batch-Modus aufgerufen. Dabei kam es zu folgendem Fehler:" + Cr + Cr +
            " * " + problems.join(Cr + " * ") + Cr + Cr +
            "Der Batch-Modus wird daher unterbrochen. Bitte überprüfen Sie Ihre Angaben und starten Sie "
            "erneut."};
}

} // namespace

class TestBatch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void controlFileValues()
    {
        // Looked up as K in section S; "-" when not found.
        const QList<QPair<QString, QString>> cases{
            {"[s]\nk=1", "1"}, {"[S]\r\n  K  =  2 \r\n", "2"}, {"[S]\nK=\" 3 \"", " 3 "}, {"[S]\nK='4'", "4"},
            {"[S]\nK=\"5", "\"5"}, {"[S]\nK=6\nK=7", "6"}, {"[S]\nK=a=b", "a=b"}, {"K=9\n[T]\nK=9\n[S]", "-"},
            {"[S]\nX=1\n[S]\nK=8", "-"}, {"[S]\nK=" + QString(40000, 'x'), QString(32766, 'x')}};
        for (const auto &[ini, value] : cases)
            QCOMPARE(ReadIniString("S", "K", "-", ini), value);
        // UTF-8, with or without its mark, and Windows-1252 for anything else.
        QCOMPARE(DecodeControlFile("\xEF\xBB\xBF" "Binär=€"), QString("Binär=€"));
        QCOMPARE(DecodeControlFile("Bin\xe4r=\x80"), QString("Binär=€"));
        const QList<QPair<QString, double>> numbers{
            {"1", 1},    {"-1", -1}, {"0.5", 0.5},  {".5", 0.5}, {"0", 0},     {"", 0},       {"ja", 0},
            {"3abc", 3}, {" 1 2\t", 12}, {"1e3", 1000}, {"2D2", 200}, {"7e", 7}, {"&H10", 16}, {"&h1f", 31},
            {"&O17", 15}, {"&Hxyz", 0}, {"&", 0}, {"1.5.5", 1.5}, {"--1", 0}};
        for (const auto &[text, number] : numbers)
            QVERIFY2(LeadingNumber(text) == number, qPrintable(text));
    }

    void refusedControlFiles()
    {
        // One after another on the same core: each refused alone, nothing else happens.
        Fixture f;
        f.core.RunBatchMode(QString("   "));
        f.core.RunBatchMode(QString("gibtsnicht.ini")); // a bare name is looked for beside the program
        const QString folder = QString::fromUtf8(f.left.path()), file = QString::fromUtf8(f.right.path("a"));
        f.core.RunBatchMode(folder);
        f.core.RunBatchMode(f.control("Altersvergleich=1\n", "Rechts=" + f.right.path("a") + "\n"));
        const QStringList expected =
            refusal({"Die Steuerdatei ''" + AppFolder() + "gibtsnicht.ini'' wurde nicht gefunden."}) +
            refusal({"Der angegebene Name ''" + folder + "''bezeichnet ein Verzeichnis, keine Datei."}) +
            refusal({"Der Verzeichnispfad '''' für die linke Spalte existiert nicht.",
                     "Der Verzeichnispfad ''" + file + "/'' für die rechte Spalte bezeichnet eine Datei, "
                     "keinen Ordner."});
        QCOMPARE(f.host.messageTexts(), expected);
        QCOMPARE(f.host.messages[0].icon, Host::Icon::Critical);
        // Nothing loaded, no option changed, the batch mode over.
        QVERIFY(f.list.count() == 0 && f.host.recorded("mode:").isEmpty() && !f.core.BatchMode());
    }

    void combinations()
    {
        const QStringList rules{
            "Sie haben sowohl Binär- als auch Altersvergleich angefordert - diese schliessen einander aus.",
            "Sie haben einen Abgleich ohne Angabe des Vergleichstyps angefordert.",
            "Sie haben keinen Vergleichstyps eingestellt, sondern nur das autom. Ende des Programms.",
            "Sie haben eine Kopie in die Zwischenablage ohne Angabe des Vergleichstyps angefordert.",
            "In der jetzigen Einstellung haben Sie nichts vom Vergleichsergebnis, da das Programm ohne "
            "Abgleich und/oder Kopie in die Zwischenablage enden soll.",
            "Ein Abgleich ist für Binärvergleiche nicht verfügbar."};
        // Any leading number but 0 is a request. A fine control file is among the runs.
        const QList<QPair<QByteArray, QStringList>> cases{
            {"Binärvergleich=1\nAltersvergleich=1\nAbgleich=1\n", {rules[0], rules[5]}},
            {"Binärvergleich=ja\nAbgleich=1\nEnde=1\nZwischenablage=1\n", {rules[1], rules[2], rules[3]}},
            {"Binärvergleich=-1\nAbgleich=0.5\n", {rules[5]}},
            {"Binärvergleich=2\nEnde=&H10\n", {rules[4]}}};
        for (const auto &[autoStart, expected] : cases) {
            Fixture f;
            f.core.RunBatchMode(f.control(autoStart));
            QCOMPARE(f.host.messageTexts(), refusal(expected));
        }
    }

    void runs()
    {
        // The steps taken, the clipboard, the left file "a" afterwards, and whether the program is to end.
        const QList<std::tuple<QByteArray, QStringList, QString, QByteArray, bool>> cases{
            {"Altersvergleich=1\nZwischenablage=1\nEnde=1\n", {"mode:age", "clipboard", "end"},
             "\t? <--\tb\r\na\t<--\ta\r\n", "1", false}, // no report
            {"Binärvergleich=1\nZwischenablage=1\n",
             {"mode:binary", "message:Ergebnis des Binärvergleichs von 2 Dateien:", "clipboard"},
             "\t?\tb\r\na\t<>\ta\r\n", "1", false}, // a report, and it stays open
            {"", {}, "", "1", false},               // loads both, compares nothing
            {"Altersvergleich=1\nAbgleich=1\nEnde=1\n", {"mode:age", "end"}, "", "2", false},
            {"Altersvergleich=1\nAbgleich=1\n", {"mode:age"}, "", "2", false}, // it stays open
            // The window closed during the load: nothing is compared or synchronised.
            {"Altersvergleich=1\nZwischenablage=1\nAbgleich=1\nEnde=1\n", {"mode:age"}, "", "1", true}};
        for (const auto &[autoStart, steps, clipboard, leftA, stop] : cases) {
            Fixture f;
            f.host.sofortStart = true; // a batch right load never starts the comparison by itself
            f.host.onYield = [&f, stop = stop] { f.host.stop = stop; };
            f.core.RunBatchMode(f.control(autoStart));
            QCOMPARE(f.host.events.filter(QRegularExpression("^(mode|clipboard|end|message)")), steps);
            QCOMPARE(f.host.clipboard, clipboard);
            QFile a(QString::fromUtf8(f.left.path("a")));
            QCOMPARE(a.open(QIODevice::ReadOnly) ? a.readAll() : QByteArray(), leftA);
            QCOMPARE(f.core.BatchMode(), f.host.ended); // over, unless the program ended
        }
    }

    void controlFileReadOnceAndWhole()
    {
        // The right folder's path straddles the first MiB: read whole, it names the folder and not a prefix.
        Fixture f;
        // "[Pfade]\n", the padding, "\nRechts=": the middle of the right folder's path falls on 1 MiB.
        const QByteArray paths = QByteArray((1 << 20) - 16 - f.right.path().size() / 2, ';') + "\nRechts=" +
                                 f.right.path() + "\nLinks=" + f.left.path() + "\n";
        f.core.RunBatchMode(f.control("Altersvergleich=1\nZwischenablage=1\nEnde=1\n", paths));
        QCOMPARE(f.core.RightPath(), f.right.path() + '/');
        QCOMPARE(f.fs.opens, 1); // one reading for every setting; the age comparison opens no file
        // A file past 16 MiB is no control file, whatever it holds.
        const QString big = f.control({}, QByteArray(16 << 20, ';'));
        f.core.RunBatchMode(big);
        QCOMPARE(f.host.messageTexts(),
                 refusal({"Die Steuerdatei ''" + big + "'' ist größer als 16 MiB und damit keine "
                          "Steuerdatei."}));
    }
};

QTEST_GUILESS_MAIN(TestBatch)
#include "tst_batch.moc"

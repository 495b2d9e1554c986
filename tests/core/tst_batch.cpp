#include "corefixture.h"
#include "inifile.h"

#include <QRegularExpression>
#include <QTest>

using namespace common;

namespace {

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
        // By default the right folder's path straddles the first MiB: read whole, it names the folder and
        // not a prefix. "[Pfade]\n", the padding, "\nRechts=": the middle of that path falls on 1 MiB.
        if (paths.isEmpty())
            paths = QByteArray((1 << 20) - 16 - right.path().size() / 2, ';') + "\nRechts=" + right.path() +
                    "\nLinks=" + left.path() + "\n";
        controlDir.file("steuer.ini", "[Pfade]\n" + paths + "[AutoStart]\n" + autoStart);
        return QString::fromUtf8(controlDir.path("steuer.ini"));
    }
};

/// The batch mode's one message, listing these problems.
QStringList refusal(const QStringList &problems)
{
    return {"Sie haben Kalmora im Batch-Modus aufgerufen. Dabei kam es zu folgendem Fehler:\r\r * " +
            problems.join("\r * ") + "\r\rDer Batch-Modus wird daher unterbrochen. Bitte überprüfen Sie Ihre "
            "Angaben und starten Sie erneut."};
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
        QCOMPARE(DecodeControlFile("\xEF\xBB\xBF" "ä€") + DecodeControlFile("\xe4r\x80"), QString("ä€är€"));
        // The leading number of each; signs, fractions and hexadecimal as requests: refusedControlFiles.
        QStringList numbers;
        for (const QString text : {" 1 2\t", "2D2", "7e", "&h1f", "&O17", "&Hxyz", "&", "1.5.5", "--1"})
            numbers << QString::number(LeadingNumber(text));
        QCOMPARE(numbers.join(' '), "12 200 7 31 15 0 0 1.5 0");
    }

    void refusedControlFiles()
    {
        // One after another on the same core: each refused alone, nothing else happens.
        Fixture f;
        const QString folder = QString::fromUtf8(f.left.path()), file = QString::fromUtf8(f.right.path("a"));
        // Blank: no batch run. A bare name is looked for beside the program.
        for (const QString &commandLine : QStringList{"   ", "gibtsnicht.ini", folder})
            f.core.RunBatchMode(commandLine);
        f.core.RunBatchMode(f.control("Altersvergleich=1\n", "Rechts=" + f.right.path("a") + "\n"));
        // Any leading number but 0 is a request.
        f.core.RunBatchMode(f.control("Binärvergleich=-1\nAltersvergleich=1\nAbgleich=0.5\n"));
        f.core.RunBatchMode(f.control("Binärvergleich=ja\nAbgleich=1\nEnde=1\nZwischenablage=1\n"));
        f.core.RunBatchMode(f.control("Binärvergleich=2\nEnde=&H10\n"));
        // A file past 16 MiB is no control file, whatever it holds.
        const QString big = f.control({}, QByteArray(16 << 20, ';'));
        f.core.RunBatchMode(big);
        const QStringList expected =
            refusal({"Die Steuerdatei ''" + AppFolder() + "gibtsnicht.ini'' wurde nicht gefunden."}) +
            refusal({"Der angegebene Name ''" + folder + "''bezeichnet ein Verzeichnis, keine Datei."}) +
            refusal({"Der Verzeichnispfad '''' für die linke Spalte existiert nicht.",
                     "Der Verzeichnispfad ''" + file + "/'' für die rechte Spalte bezeichnet eine Datei, "
                     "keinen Ordner."}) +
            refusal({"Sie haben sowohl Binär- als auch Altersvergleich angefordert - diese schliessen "
                     "einander aus.",
                     "Ein Abgleich ist für Binärvergleiche nicht verfügbar."}) +
            refusal({"Sie haben einen Abgleich ohne Angabe des Vergleichstyps angefordert.",
                     "Sie haben keinen Vergleichstyps eingestellt, sondern nur das autom. Ende des "
                     "Programms.",
                     "Sie haben eine Kopie in die Zwischenablage ohne Angabe des Vergleichstyps "
                     "angefordert."}) +
            refusal({"In der jetzigen Einstellung haben Sie nichts vom Vergleichsergebnis, da das Programm "
                     "ohne Abgleich und/oder Kopie in die Zwischenablage enden soll."}) +
            refusal({"Die Steuerdatei ''" + big + "'' ist größer als 16 MiB und damit keine Steuerdatei."});
        QCOMPARE(f.host.messageTexts(), expected);
        // Nothing loaded, no option changed, the batch mode over.
        QVERIFY(f.list.count() == 0 && f.host.recorded("mode:").isEmpty() && !f.core.BatchMode());
    }

    void runs()
    {
        // The steps taken, the left file "a" afterwards and the files opened; the clipboard; whether the
        // program is to end.
        const QList<std::tuple<QByteArray, QStringList, QString, bool>> cases{
            {"Altersvergleich=1\nZwischenablage=1\nEnde=1\n", // no report; one reading for every setting
             {"mode:age", "clipboard", "end", "a:1", "opens:1"}, "\t? <--\tb\r\na\t<--\ta\r\n", false},
            {"Binärvergleich=1\nZwischenablage=1\n", // a report, and it stays open
             {"mode:binary", "message:Ergebnis des Binärvergleichs von 2 Dateien:", "clipboard", "a:1",
              "opens:3"}, "\t?\tb\r\na\t<>\ta\r\n", false},
            {"Altersvergleich=1\nAbgleich=1\n", {"mode:age", "a:2", "opens:2"}, "", false}, // it stays open
            // The window closed during the load: nothing is synchronised, and no end is called for.
            {"Altersvergleich=1\nAbgleich=1\nEnde=1\n", {"mode:age", "a:1", "opens:1"}, "", true}};
        for (const auto &[autoStart, steps, clipboard, stop] : cases) {
            Fixture f;
            f.host.sofortStart = true; // a batch right load never starts the comparison by itself
            f.host.onYield = [&f, stop = stop] { f.host.stop = stop; };
            f.core.RunBatchMode(f.control(autoStart));
            QCOMPARE(f.host.events.filter(QRegularExpression("^(mode|clipboard|end|message)"))
                         << f.left.contents() << "opens:" + QString::number(f.fs.opens), steps);
            QCOMPARE(f.host.clipboard, clipboard);
            QCOMPARE(f.core.BatchMode(), f.host.ended); // over, unless the program ended
        }
    }
};

QTEST_GUILESS_MAIN(TestBatch)
#include "tst_batch.moc"

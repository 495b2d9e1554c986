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
    // Looked up as K in section S; "-" when not found.
    void controlFileValues_data()
    {
        QTest::addColumn<QString>("ini");
        QTest::addColumn<QString>("value");
        QTest::newRow("names in any case") << "[s]\nk=1" << "1";
        QTest::newRow("blanks and CR LF") << "[S]\r\n  K  =  2 \r\n" << "2";
        QTest::newRow("double quotes keep blanks") << "[S]\nK=\" 3 \"" << " 3 ";
        QTest::newRow("single quotes") << "[S]\nK='4'" << "4";
        QTest::newRow("an unclosed quote stays") << "[S]\nK=\"5" << "\"5";
        QTest::newRow("the first of two") << "[S]\nK=6\nK=7" << "6";
        QTest::newRow("an equals sign in the value") << "[S]\nK=a=b" << "a=b";
        QTest::newRow("before and in other sections") << "K=9\n[T]\nK=9\n[S]" << "-";
        QTest::newRow("only the first section of a name") << "[S]\nX=1\n[S]\nK=8" << "-";
        QTest::newRow("cut at 32766 characters") << "[S]\nK=" + QString(40000, 'x') << QString(32766, 'x');
    }
    void controlFileValues()
    {
        QFETCH(QString, ini);
        QTEST(ReadIniString("S", "K", "-", ini), "value");
    }

    void controlFileDecoding()
    {
        // UTF-8, with or without its mark, and Windows-1252 for anything else.
        QCOMPARE(DecodeControlFile("\xEF\xBB\xBF" "ä€") + DecodeControlFile("\xe4r\x80"), QString("ä€är€"));
    }

    // The leading number of each; signs, fractions and hexadecimal as requests: refusedControlFiles. Only a
    // number that reads 0 turns the trash off ("Papierkorb=0"): no number at all leaves it on.
    void leadingNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("number");
        QTest::addColumn<bool>("forGood");
        QTest::newRow("digits apart by blanks") << " 1 2\t" << "12" << false;
        QTest::newRow("D as exponent") << "2D2" << "200" << false;
        QTest::newRow("exponent without digits") << "7e" << "7" << false;
        QTest::newRow("hexadecimal") << "&h1f" << "31" << false;
        QTest::newRow("octal") << "&O17" << "15" << false;
        QTest::newRow("hexadecimal without digits") << "&Hxyz" << "0" << false;
        QTest::newRow("a bare ampersand") << "&" << "0" << false;
        QTest::newRow("a second point") << "1.5.5" << "1.5" << false;
        QTest::newRow("two signs") << "--1" << "0" << false;
        QTest::newRow("a fraction of zero") << "-.0x" << "0" << true;
    }
    void leadingNumbers()
    {
        QFETCH(QString, text);
        QTEST(QString::number(LeadingNumber(text)), "number");
        QTEST(ForGoodAsked(text), "forGood");
    }

    // Each refused alone, and nothing else happens. <app> stands for the program's folder, <L> and <R> for
    // the left and right folders, <control> for the control file; no command line: the control file of the
    // requests and the paths given.
    void refusedControlFiles_data()
    {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<QByteArray>("autoStart");
        QTest::addColumn<QByteArray>("paths");
        QTest::addColumn<QStringList>("problems");
        const auto row = [](const char *name, const QString &commandLine, const QByteArray &autoStart,
                            const QByteArray &paths, const QStringList &problems) {
            QTest::newRow(name) << commandLine << autoStart << paths << problems;
        };
        row("blank: no batch run", "   ", {}, {}, {});
        row("a bare name, looked for beside the program", "gibtsnicht.ini", {}, {},
            {"Die Steuerdatei ''<app>gibtsnicht.ini'' wurde nicht gefunden."});
        row("a folder", "<L>", {}, {},
            {"Der angegebene Name ''<L>''bezeichnet ein Verzeichnis, keine Datei."});
        row("no left folder, a file as the right one", {}, "Altersvergleich=1\n", "Rechts=<R>/a\n",
            {"Der Verzeichnispfad '''' für die linke Spalte existiert nicht.",
             "Der Verzeichnispfad ''<R>/a/'' für die rechte Spalte bezeichnet eine Datei, keinen Ordner."});
        // Any leading number but 0 is a request.
        row("both comparisons, a synchronisation after the binary one", {},
            "Binärvergleich=-1\nAltersvergleich=1\nAbgleich=0.5\n", {},
            {"Sie haben sowohl Binär- als auch Altersvergleich angefordert - diese schliessen einander aus.",
             "Ein Abgleich ist für Binärvergleiche nicht verfügbar."});
        row("requests without a comparison", {}, "Binärvergleich=ja\nAbgleich=1\nEnde=1\nZwischenablage=1\n",
            {},
            {"Sie haben einen Abgleich ohne Angabe des Vergleichstyps angefordert.",
             "Sie haben keinen Vergleichstyps eingestellt, sondern nur das autom. Ende des Programms.",
             "Sie haben eine Kopie in die Zwischenablage ohne Angabe des Vergleichstyps angefordert."});
        row("an end with nothing to show", {}, "Binärvergleich=2\nEnde=&H10\n", {},
            {"In der jetzigen Einstellung haben Sie nichts vom Vergleichsergebnis, da das Programm ohne "
             "Abgleich und/oder Kopie in die Zwischenablage enden soll."});
        row("a file past 16 MiB, whatever it holds", {}, {}, QByteArray(16 << 20, ';'),
            {"Die Steuerdatei ''<control>'' ist größer als 16 MiB und damit keine Steuerdatei."});
    }
    void refusedControlFiles()
    {
        QFETCH(QString, commandLine);
        QFETCH(QByteArray, autoStart);
        QFETCH(QByteArray, paths);
        QFETCH(QStringList, problems);
        Fixture f;
        const QString left = QString::fromUtf8(f.left.path());
        commandLine.replace("<L>", left);
        if (commandLine.isEmpty())
            commandLine = f.control(autoStart, paths.replace("<R>", f.right.path()));
        problems.replaceInStrings("<app>", AppFolder()).replaceInStrings("<L>", left);
        problems.replaceInStrings("<R>", f.right.path()).replaceInStrings("<control>", commandLine);
        f.core.RunBatchMode(commandLine);
        QCOMPARE(f.host.messageTexts(), problems.isEmpty() ? QStringList() : refusal(problems));
        // Nothing loaded, no option changed, the batch mode over.
        QVERIFY(f.list.count() == 0 && f.host.recorded("mode:").isEmpty() && !f.core.BatchMode());
    }

    // The steps taken, the left file "a" afterwards and the files opened; the clipboard; whether the
    // program is to end.
    void runs_data()
    {
        QTest::addColumn<QByteArray>("autoStart");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<bool>("stop");
        const auto row = [](const char *name, const QByteArray &autoStart, const QStringList &steps,
                            const QString &clipboard, bool stop) {
            QTest::newRow(name) << autoStart << steps << clipboard << stop;
        };
        row("age, clipboard, end: no report, one reading for every setting",
            "Altersvergleich=1\nZwischenablage=1\nEnde=1\n",
            {"mode:age", "clipboard", "end", "a:1", "opens:1"}, "\t? <--\tb\r\na\t<--\ta\r\n", false);
        row("binary, clipboard: a report, and it stays open", "Binärvergleich=1\nZwischenablage=1\n",
            {"mode:binary", "message:Ergebnis des Binärvergleichs von 2 Dateien:", "clipboard", "a:1",
             "opens:3"},
            "\t?\tb\r\na\t<>\ta\r\n", false);
        row("age, synchronise: it stays open", "Altersvergleich=1\nAbgleich=1\n",
            {"mode:age", "a:2", "opens:2"}, "", false);
        // Nothing is synchronised, and no end is called for.
        row("the window closed during the load", "Altersvergleich=1\nAbgleich=1\nEnde=1\n",
            {"mode:age", "a:1", "opens:1"}, "", true);
    }
    void runs()
    {
        QFETCH(QByteArray, autoStart);
        QFETCH(bool, stop);
        Fixture f;
        f.host.sofortStart = true; // a batch right load never starts the comparison by itself
        f.host.onYield = [&f, stop] { f.host.stop = stop; };
        f.core.RunBatchMode(f.control(autoStart));
        QTEST(f.host.events.filter(QRegularExpression("^(mode|clipboard|end|message)"))
                  << f.left.contents() << "opens:" + QString::number(f.fs.opens),
              "steps");
        QTEST(f.host.clipboard, "clipboard");
        QCOMPARE(f.core.BatchMode(), f.host.ended); // over, unless the program ended
    }
};

QTEST_GUILESS_MAIN(TestBatch)
#include "tst_batch.moc"

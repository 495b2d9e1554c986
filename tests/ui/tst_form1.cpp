#include "faultyfilesystem.h"
#include "form1.h"
#include "infoform.h"
#include "modresizeapp.h"
#include "qzsammlung.h"
#include "qzsammlung2divfu.h"
#include "testdir.h"

#include <QAction>
#include <QCheckBox>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTest>
#include <QTreeView>
#include <QUrl>

#include <ctime>
#include <functional>

using namespace common;

namespace {

/// The window with its modal dialogs answered here instead of on the screen.
class TestForm : public Form1
{
public:
    using Form1::Form1;
    QStringList messages;
    QByteArray chosenFolder;
    std::function<void()> duringYield;

    Answer showMessage(const QString &text, Icon, Buttons) override
    {
        messages.append(text);
        return Answer::Ok;
    }
    QByteArray browseForFolder(const QString &) override { return chosenFolder; }
    void yield() override
    {
        Form1::yield();
        if (duringYield)
            duringYield();
    }
};

struct Window
{
    FaultyFileSystem fs;
    TestForm form{fs};
    Window() { form.Form_Load(); }

    void load(const NativePath &path, bool toLeft)
    {
        NativePath p = path;
        form.core().LoadFolder(p, toLeft);
    }
    QStringList column(int c) const
    {
        QStringList texts;
        const ComparisonList &list = const_cast<TestForm &>(form).core().list();
        for (int i = 0; i < list.count(); ++i)
            texts << list.data(list.index(i, c)).toString();
        return texts;
    }
    void drop(const QList<QByteArray> &paths, int x)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const QByteArray &p : paths)
            urls << QUrl::fromLocalFile(QString::fromUtf8(p));
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(x, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form.Liste->viewport(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent event(QPointF(x, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form.Liste->viewport(), &event);
    }
    void click(Qt::MouseButton button)
    {
        QWidget *viewport = form.Liste->viewport();
        QTest::mousePress(viewport, button, {}, QPoint(20, 5));
        QTest::mouseRelease(viewport, button, {}, QPoint(20, 5));
    }
    QRect px(const QWidget *w) const { return w->geometry(); }
};

int twips(int pixels)
{
    return pixels * 15; // the offscreen screen has 96 dpi
}

} // namespace

class TestForm1 : public QObject
{
    Q_OBJECT
    QTemporaryDir m_settings;

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        tzset();
        // The window's place is kept in the user's settings: these tests keep theirs apart.
        QVERIFY(m_settings.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settings.path());
        Window w;
        QCOMPARE(w.form.logicalDpiX(), 96);
    }

    void startState()
    {
        Window w;
        Form1 &f = w.form;
        QVERIFY(f.isVisible());
        QCOMPARE(f.windowTitle(), QString("Kalmora"));
        QVERIFY(f.CompModeOpt[0]->isChecked());
        QVERIFY(!f.CompModeOpt[1]->isChecked());
        QVERIFY(!f.Btn(7)->isEnabled());
        QVERIFY(f.Btn(8)->isEnabled());
        QVERIFY(f.ToolTipCheck->isChecked());
        QVERIFY(!f.SofortStartCheck->isChecked() && !f.MyTopMostChk->isChecked() && !f.SpeedCheck->isChecked());
        QCOMPARE(f.core().list().count(), 0);
        QCOMPARE(f.Frame1->title(), QString("Vergleichsliste"));
        QCOMPARE(f.Frame3->title(), QString("Steuerung"));
        const QMap<int, QString> captions{{8, "Dateien- &vergleich"}, {7, "Dateien- &abgleich"},
                                          {3, "&Zwischen- ablage"},   {2, "&Hilfe"},
                                          {10, "&Info"},              {9, "&Ende"}};
        for (auto it = captions.begin(); it != captions.end(); ++it)
            QCOMPARE(f.Btn(it.key())->text().replace('\n', ' '), it.value());
        QCOMPARE(f.SofortStartCheck->text().replace('\n', ' '),
                 QString("&Nach dem Auffüllen der rechten Spalte sofort mit dem Vergleich beginnen"));
        QCOMPARE(f.MyTopMostChk->text().replace('\n', ' '), QString("Fenter &immer im Vordergrund halten"));
        QVERIFY(!f.Btn(0)->icon().isNull() && !f.Btn(1)->icon().isNull());
        QCOMPARE(f.Liste->header()->sectionSize(0), 252);
        QCOMPARE(f.Liste->header()->sectionSize(1), 53);
        QVERIFY(f.Liste->header()->isSectionHidden(4) && f.Liste->header()->isSectionHidden(5));
        QCOMPARE(f.core().list().column1Width(), 252);
        QCOMPARE(f.Liste->model()->headerData(0, Qt::Horizontal).toString(), QString("Erster Ordner"));
    }

    void toolTips()
    {
        Window w;
        Form1 &f = w.form;
        const QString folderTip = "Öffnet einen Dialog zur Verzeichnisauswahl";
        QList<QWidget *> cleared{f.Liste,       f.Btn(3),         f.Btn(7),         f.Btn(8),      f.Btn(9),
                                 f.Btn(10),     f.Pbar,           f.SbarPanel[0],   f.SbarPanel[1], f.ToolTipCheck,
                                 f.SpeedCheck,  f.CompModeOpt[0], f.CompModeOpt[1]};
        for (QWidget *widget : cleared)
            QVERIFY2(!widget->toolTip().isEmpty(), qPrintable(widget->objectName()));
        QCOMPARE(f.SpeedCheck->toolTip(), QString("Erhöht die Performance von Kalmora zu Lasten anderer Tasks."));
        QCOMPARE(f.Btn(0)->toolTip(), folderTip);
        QVERIFY(f.Btn(2)->toolTip().isEmpty() && f.SofortStartCheck->toolTip().isEmpty() &&
                f.MyTopMostChk->toolTip().isEmpty());

        f.ToolTipCheck->click();
        for (QWidget *widget : cleared)
            QVERIFY(widget->toolTip().isEmpty());
        QCOMPARE(f.Btn(0)->toolTip(), folderTip);
        QCOMPARE(f.Btn(1)->toolTip(), folderTip);

        f.ToolTipCheck->click();
        QCOMPARE(f.Liste->toolTip(),
                 QString("Die zu vergleichenden Verzeichnisse zunächst in die linke und dann in die rechte Spalte "
                         "ziehen."));
        QCOMPARE(f.SbarPanel[1]->toolTip(), QString("Programmstatus und Hinweise für den Anwender."));
    }

    void modeRuleAndCompareCommand()
    {
        TestDir left, right;
        left.file("a", "1");
        right.file("a", "2", TestDir::DefaultTime + 5);
        Window w;
        Form1 &f = w.form;
        w.load(left.path(), true);
        w.load(right.path(), false);

        QTest::mouseClick(f.CompModeOpt[1], Qt::LeftButton);
        QVERIFY(f.CompModeOpt[1]->isChecked());
        QVERIFY(f.Btn(7)->isEnabled());
        f.Btn(8)->click();
        QVERIFY(w.form.messages.last().startsWith("Ergebnis des Versionsvergleichs von 1 Dateien:"));
        QCOMPARE(w.column(1), QStringList{"<--"});

        QTest::mouseClick(f.CompModeOpt[0], Qt::LeftButton);
        QVERIFY(!f.Btn(7)->isEnabled());
        f.Btn(8)->click();
        QVERIFY(w.form.messages.last().startsWith("Ergebnis des Binärvergleichs von 1 Dateien:"));
        QCOMPARE(w.column(1), QStringList{"<>"});
        QCOMPARE(f.SbarPanel[1]->text(), QString("Status: Binärvergleich fertig!"));
        QCOMPARE(f.Pbar->value(), 0);
        QVERIFY(f.Btn(8)->isEnabled());
    }

    void clipboardAndSynchronisation()
    {
        TestDir left, right;
        left.file("a", "neu", TestDir::DefaultTime + 60);
        right.file("a", "alt");
        Window w;
        Form1 &f = w.form;
        w.load(left.path(), true);
        w.load(right.path(), false);
        f.SelectCompareMode(1);
        f.Btn(8)->click();
        f.Btn(3)->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("a\t-->\ta\r\n"));
        QCOMPARE(f.SbarPanel[1]->text(), QString("Status: Fertig."));
        f.Btn(7)->click();
        QCOMPARE(f.core().list().count(), 0);
        QCOMPARE(f.SbarPanel[1]->text(), QString("Status: Datenabgleich beendet."));
        QFile copied(QString::fromUtf8(right.path("a")));
        QVERIFY(copied.open(QIODevice::ReadOnly));
        QCOMPARE(copied.readAll(), QByteArray("neu"));
    }

    void batchRunAtStartUp()
    {
        TestDir dir;
        dir.file("L/a", "1");
        dir.file("R/a", "1");
        dir.file("steuer.ini", "[Pfade]\nLinks=" + dir.path("L") + "\nRechts=" + dir.path("R") +
                                   "\n[AutoStart]\nAltersvergleich=1\nZwischenablage=1\nEnde=1\n");
        FaultyFileSystem fs;
        TestForm form(fs);
        form.Form_Load(QString::fromUtf8(dir.path("steuer.ini")));
        QVERIFY(form.CompModeOpt[1]->isChecked());
        QVERIFY(form.Btn(7)->isEnabled()); // selecting the mode has the effects of a click
        QVERIFY(form.hasEnded());
        QVERIFY(form.messages.isEmpty());
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("a\t=\ta\r\n"));
    }

    void folderButtons()
    {
        TestDir left, right;
        left.file("l");
        right.file("r");
        Window w;
        w.form.Btn(1)->click(); // cancelled dialog: nothing happens
        QCOMPARE(w.form.core().list().count(), 0);
        w.form.chosenFolder = left.path();
        w.form.Btn(1)->click(); // the list is empty, so the left column it is
        w.form.chosenFolder = right.path();
        w.form.Btn(1)->click();
        QCOMPARE(w.column(0), (QStringList{"", "l"}));
        QCOMPARE(w.column(2), (QStringList{"r", ""}));
        QCOMPARE(w.form.SbarPanel[0]->text(), QString("2 Dateien"));
        QCOMPARE(w.form.Liste->model()->headerData(2, Qt::Horizontal).toString(), QString::fromUtf8(right.path() + '/'));
    }

    void dropOntoTheList()
    {
        TestDir dir;
        dir.file("L/a");
        dir.file("R/a");
        dir.file("N/n");
        Window w;
        const int edge = w.form.Liste->header()->sectionSize(0);
        w.drop({dir.path("L")}, edge + 50); // empty list: left anyway
        QCOMPARE(w.column(0), QStringList{"a"});
        w.drop({dir.path("R")}, edge);
        QCOMPARE(w.column(2), QStringList{"a"});
        w.drop({dir.path("N")}, edge - 1);
        QCOMPARE(w.column(0), QStringList{"n"});
        QCOMPARE(w.column(2), QStringList{""});
        QCOMPARE(w.form.Liste->model()->headerData(2, Qt::Horizontal).toString(), QString("Zweiter Ordner"));
        QVERIFY(w.form.messages.isEmpty());

        w.drop({dir.path("L"), dir.path("R")}, 5);
        w.drop({dir.path("L/a")}, 5);
        QCOMPARE(w.form.messages, (QStringList{"Bitte jeweils nur ein einzelnes Verzeichnis in die Liste ziehen!",
                                               "Bitte nur Verzeichnisse (keine Einzeldateien) in die Liste ziehen!"}));
        QCOMPARE(w.column(0), QStringList{"n"});
    }

    void rowMenu()
    {
        TestDir left;
        for (const char *name : {"a", "b", "c", "d", "e"})
            left.file(name);
        Window w;
        Form1 &f = w.form;
        w.load(left.path(), true);
        QItemSelectionModel *selection = f.Liste->selectionModel();
        selection->clearSelection();
        for (int row : {0, 2, 4})
            selection->select(f.Liste->model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        f.core().list().setMarker(1, Marker::Equal);

        QCOMPARE(f.pum->defaultAction(), f.pumXXX(10));
        QCOMPARE(f.pumXXX(6)->text(), QString("XX  beide löschen"));
        QVERIFY(f.pumXXX(3)->isSeparator() && f.pumXXX(7)->isSeparator() && f.pumXXX(9)->isSeparator());

        f.Liste_MouseDown(2);
        f.Liste_Click();
        QVERIFY(f.pum->isVisible());
        f.pumXXX(4)->trigger();
        f.pum->hide();
        QCOMPARE(w.column(1), (QStringList{"X->", "=", "X->", "", "X->"}));

        for (int index : {3, 7, 9, 10, 0, 11})
            f.pumXXX_Click(index);
        QCOMPARE(w.column(1), (QStringList{"X->", "=", "X->", "", "X->"}));

        const QMap<int, QString> markers{{1, "-->"}, {2, "<--"}, {5, "<-X"}, {6, "XX"}, {8, "]["}};
        for (auto it = markers.begin(); it != markers.end(); ++it) {
            f.pumXXX_Click(it.key());
            QCOMPARE(w.column(1)[2], it.value());
        }
    }

    void onlyARightClickOpensTheMenu()
    {
        TestDir left;
        left.file("a");
        Window w;
        w.load(left.path(), true);
        w.click(Qt::LeftButton);
        QVERIFY(!w.form.pum->isVisible());
        w.form.Liste_MouseDown(2); // a right press without a click, then a left click
        w.click(Qt::LeftButton);
        QVERIFY(!w.form.pum->isVisible());
        w.click(Qt::RightButton);
        QVERIFY(w.form.pum->isVisible());
        w.form.pum->hide();
    }

    void headerSortAndFlip()
    {
        TestDir left, right;
        for (const char *name : {"b", "a", "c"})
            left.file(name);
        right.file("B");
        right.file("z");
        Window w;
        Form1 &f = w.form;
        w.load(left.path(), true);
        w.load(right.path(), false);
        QCOMPARE(w.column(0), (QStringList{"", "a", "b", "c"})); // loads sort by column 1, ascending
        f.Liste_ColumnClick(1);
        QCOMPARE(w.column(0), (QStringList{"", "a", "b", "c"}));
        f.Liste_ColumnClick(1);
        QCOMPARE(w.column(0), (QStringList{"c", "b", "a", ""}));
        QCOMPARE(f.Liste->header()->sortIndicatorOrder(), Qt::DescendingOrder);
        f.Liste_ColumnClick(3); // a new column keeps the reversed direction
        QCOMPARE(w.column(2), (QStringList{"z", "B", "", ""}));
        QCOMPARE(f.Liste->header()->sortIndicatorSection(), 2);
    }

    void busyListIsNotReordered()
    {
        TestDir left, right;
        for (int i = 0; i < 300; ++i) {
            left.file("f" + QByteArray::number(i));
            right.file("F" + QByteArray::number(i));
        }
        Window w;
        Form1 &f = w.form;
        w.load(left.path(), true);
        f.Liste->selectAll();
        w.form.duringYield = [&] {
            f.Liste_ColumnClick(3);
            f.pumXXX_Click(6);
        };
        w.load(right.path(), false);
        w.form.duringYield = nullptr;
        QCOMPARE(f.core().list().count(), 300);
        for (int i = 0; i < 300; ++i) {
            QCOMPARE(f.core().list().row(i).rightName.toLower(), f.core().list().row(i).leftName);
            QCOMPARE(f.core().list().row(i).marker, Marker::None);
        }
    }

    void layoutFollowsTheWindow()
    {
        Window w;
        Form1 &f = w.form;
        QCOMPARE(f.Liste->property("Tag").toString(), QString("120:240:8355:3555"));
        const QRect liste = f.Liste->geometry(), frame1 = f.Frame1->geometry(), frame2 = f.Frame2->geometry(),
                    frame3 = f.Frame3->geometry(), frame4 = f.Frame4->geometry(), btn1 = f.Btn(1)->geometry(),
                    btn0 = f.Btn(0)->geometry(), pbar = f.Pbar->geometry();
        const int col0 = f.Liste->header()->sectionSize(0), col1 = f.Liste->header()->sectionSize(1),
                  col2 = f.Liste->header()->sectionSize(2);
        const QSize start = f.size();

        auto resizeTo = [&](int width, int height) {
            f.resize(width, height);
            QTRY_COMPARE(f.size(), QSize(qMax(width, start.width()), qMax(height, start.height())));
        };
        // Many sizes, then one: every placement starts from the record, so nothing drifts.
        for (int i = 0; i < 20; ++i)
            resizeTo(start.width() + (i * 37) % 300, start.height() + (i * 53) % 200);
        resizeTo(start.width() + 60, start.height() + 30); // 900 x 450 twips larger
        QCOMPARE(f.Liste->geometry(), liste.adjusted(0, 0, 60, 30));
        QCOMPARE(f.Frame1->geometry(), frame1.adjusted(0, 0, 60, 30));
        QCOMPARE(f.Frame2->geometry(), frame2.translated(0, 30));
        QCOMPARE(f.Frame3->geometry(), frame3.translated(0, 30).adjusted(0, 0, 60, 0));
        QCOMPARE(f.Btn(1)->geometry(), btn1.translated(60, 30));
        QCOMPARE(f.Frame4->geometry(), frame4.translated(60, 0));
        QCOMPARE(f.Btn(0)->geometry(), btn0);
        QCOMPARE(f.Pbar->geometry(), pbar);
        QCOMPARE(f.Liste->header()->sectionSize(0), col0 + 30);
        QCOMPARE(f.Liste->header()->sectionSize(2), col2 + 30);
        QCOMPARE(f.Liste->header()->sectionSize(1), col1);
        QCOMPARE(f.Sbar->geometry().bottom(), f.height() - 1);
        QCOMPARE(f.Sbar->width(), f.width());

        // Narrower than at start: the width snaps back, the larger height stays.
        f.resize(start.width() - 80, start.height() + 20);
        QTRY_COMPARE(f.size(), QSize(start.width(), start.height() + 20));
        QCOMPARE(f.Liste->geometry(), liste.adjusted(0, 0, 0, 20));
        QCOMPARE(f.Liste->header()->sectionSize(0), col0);
    }

    void geometryRecords()
    {
        Window w;
        QObject header;
        ModresizeApp::StoreGeometry(&header, 100);
        QCOMPARE(header.property("Tag").toString(), QString("0:0:0:0")); // properties it lacks count as 0
        QCOMPARE(w.form.Frame4->property("Tag").toString(), QString("5460:240:3075:1035"));
        QCOMPARE(w.form.property("Tag").toString(), QString("0:0:8730:6210").section(':', 2).prepend(
                                                         QString("%1:%2:").arg(twips(w.form.x())).arg(twips(w.form.y()))));
    }

    void nthField_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QString>("field");
        QTest::newRow("third") << "120:240:8355:3555" << 3 << ":" << "8355";
        QTest::newRow("first") << "120:240:8355:3555" << 1 << ":" << "120";
        QTest::newRow("last") << "120:240:8355:3555" << 4 << ":" << "3555";
        QTest::newRow("beyond") << "120:240:8355:3555" << 5 << ":" << "";
        QTest::newRow("empty text") << "" << 1 << ":" << "";
        QTest::newRow("blank by default") << "a b c" << 2 << "" << "b";
        QTest::newRow("longer separator") << "a--b--c" << 3 << "--" << "c";
    }
    void nthField()
    {
        QFETCH(QString, text);
        QFETCH(int, n);
        QFETCH(QString, separator);
        QFETCH(QString, field);
        QCOMPARE(QZSAMMLUNG2DIVFU::NthField(text, n, separator, 0), field);
    }

    void centring()
    {
        QCOMPARE(QZSAMMLUNG::CenteredOffset(15360, 8000), 3680);
        QCOMPARE(QZSAMMLUNG::CenteredOffset(100, 50.5), 25);  // 49.5 rounds to 50 (even)
        QCOMPARE(QZSAMMLUNG::CenteredOffset(100, 49.5), 25);  // 50.5 rounds to 50 (even)
        QCOMPARE(QZSAMMLUNG::CenteredOffset(100, 48.5), 26);  // 51.5 rounds to 52 (even)
        QCOMPARE(QZSAMMLUNG::CenteredOffset(800, 1001), -100); // halved towards zero
    }

    void placementBetweenRuns()
    {
        QSettings store("Norvane Software", "Kalmora");
        store.clear();
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        auto centred = [&](const QWidget &w) { // centred while hidden, before any frame is known
            return QPoint(QZSAMMLUNG::CenteredOffset(screen.width(), w.width()),
                          QZSAMMLUNG::CenteredOffset(screen.height(), w.height()));
        };
        {
            Window first; // nothing stored yet
            QCOMPARE(first.form.pos(), centred(first.form));
            first.form.move(40, 30);
            first.form.close(); // a normal close keeps the place
        }
        QCOMPARE(store.value("_Top").toString(), QString("450"));
        QCOMPARE(store.value("_Left").toString(), QString("600"));
        {
            Window second;
            QCOMPARE(second.form.pos(), QPoint(40, 30));
            second.form.move(50, 50);
            second.form.Btn(9)->click(); // "&Ende" leaves the stored place alone
        }
        QCOMPARE(store.value("_Left").toString(), QString("600"));

        for (const char *top : {"0", "-1", "99999999", "abc"}) {
            store.setValue("_Top", top);
            Window w;
            QCOMPARE(w.form.pos(), centred(w.form));
        }
        QVERIFY(QZSAMMLUNG::StoredCornerUsable(1, 1, {100, 100}));
        QVERIFY(!QZSAMMLUNG::StoredCornerUsable(100, 1, {100, 100}) && !QZSAMMLUNG::StoredCornerUsable(1, 0, {100, 100}));
    }

    void helpFiles_data()
    {
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QString>("found");
        QTest::newRow("first before subfolder") << QStringList{"index.htm", "hilfe/index.htm"} << "index.htm";
        QTest::newRow("only the last") << QStringList{"hilfe/hilfe.html"} << "hilfe/hilfe.html";
        QTest::newRow("html after htm") << QStringList{"hilfe.html", "index.html"} << "index.html";
        QTest::newRow("a folder is no file") << QStringList{"index.htm/", "hilfe.htm"} << "hilfe.htm";
        QTest::newRow("none") << QStringList{} << "";
    }
    void helpFiles()
    {
        QFETCH(QStringList, present);
        QFETCH(QString, found);
        TestDir dir;
        for (const QString &name : present) {
            if (name.endsWith('/'))
                dir.folder(name.chopped(1).toUtf8());
            else
                dir.file(name.toUtf8());
        }
        const QString folder = QString::fromUtf8(dir.path());
        QCOMPARE(QZSAMMLUNG::FindHelpFile(folder), found.isEmpty() ? QString() : folder + '/' + found);
    }

    void helpNotFound()
    {
        Window w; // no help pages beside the test program
        w.form.Btn(2)->click();
        QCOMPARE(w.form.messages, QStringList{"Die Online-Hilfe konnte leider nicht gefunden werden ..."});
    }

    void aboutWindow()
    {
        QCOMPARE(VersionText(2, 6, 5), QString(" (V2.6)"));
        QCOMPARE(VersionText(2, 6, 99), QString(" (V2.6)"));
        QCOMPARE(VersionText(2, 6, 100), QString(" (V2.6a)"));
        QCOMPARE(VersionText(1, 10, 250), QString(" (V1.10b)")); // 98.5 rounds to the even 98
        QCOMPARE(InfoPlacement({640, 480}, {300, 200}), QPoint(0, 0));
        QCOMPARE(InfoPlacement({1024, 768}, {300, 200}), QPoint(362, 284));

        Window w;
        w.form.Btn(10)->click();
        InfoForm *info = w.form.infoForm();
        QVERIFY(info && info->isVisible() && !info->isModal());
        QCOMPARE(info->windowTitle(), QString("Kalmora - Info"));
        QVERIFY(info->Label->text().startsWith("Kalmora" + VersionText(KALMORA_VERSION_MAJOR, KALMORA_VERSION_MINOR,
                                                                      KALMORA_VERSION_PATCH) +
                                               " – Verzeichnisvergleiche unter Windows leicht gemacht\n\n"));
        QVERIFY(info->Btn[1]->x() < info->Btn[3]->x());
        QCOMPARE(info->Btn[1]->toolTip(), QString("... startet Ihren Internet-Browser mit dem Ziel norvane.example"));
        info->Label->setText("unchanged");
        w.form.Btn(10)->click();
        QCOMPARE(w.form.infoForm(), info);
        QCOMPARE(info->Label->text(), QString("unchanged"));
        info->Btn[3]->click();
        QTRY_VERIFY(!w.form.infoForm()); // closed and gone; the next opening builds a new one
    }

    void topMostAndEnd()
    {
        Window w;
        const QRect before = w.form.geometry();
        w.form.MyTopMostChk->setChecked(true);
        QVERIFY(w.form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        w.form.MyTopMostChk->setChecked(false);
        QVERIFY(!w.form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(w.form.isVisible());
        QCOMPARE(w.form.geometry(), before);

        QVERIFY(!w.form.hasEnded());
        w.form.Btn(9)->click();
        QVERIFY(w.form.hasEnded());
    }
};

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"

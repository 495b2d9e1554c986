#include "faultyfilesystem.h"
#include "form1.h"
#include "infoform.h"
#include "qzsammlung.h"
#include "testdir.h"

#include "listview.h"

#include <QTest>
#include <QtWidgets>


using namespace common;

namespace {

/// The window with its modal dialogs answered here instead of on the screen.
class TestForm : public Form1
{
public:
    using Form1::Form1;
    QStringList messages;
    QByteArray chosenFolder;

    Answer showMessage(const QString &text, Icon, Buttons) override
    {
        messages << text;
        return Answer::Ok;
    }
    QByteArray browseForFolder(const QString &) override { return chosenFolder; }
    QSize room; // the screen's, unless set
    QSize screenRoom() const override { return room.isValid() ? room : Form1::screenRoom(); }
};

struct Window
{
    FaultyFileSystem fs;
    TestForm form{fs};
    TestDir left, right;
    Window() { form.Form_Load(); }

    void load(NativePath path, bool toLeft) { form.core().LoadFolder(path, toLeft); }
    QStringList column(int c)
    {
        QStringList texts;
        for (int i = 0; i < form.core().list().count(); ++i)
            texts << form.core().list().data(form.core().list().index(i, c)).toString();
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
        QDropEvent drop(QPointF(x, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form.Liste->viewport(), &drop);
    }
};

} // namespace

class TestForm1 : public QObject
{
    Q_OBJECT
    QTemporaryDir m_settings;

private Q_SLOTS:
    void initTestCase()
    {
        // The window's place is kept in the user's settings: these tests keep theirs apart.
        QVERIFY(m_settings.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
    }

    void accessKeys_data() // each window's keys once, the box answering; before a test ends the program
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Host::Answer>("answer");
        QTest::newRow("Alt+W retries a refused step") << int(Qt::Key_W) << Host::Answer::Retry;
        QTest::newRow("Alt+I ignores it") << int(Qt::Key_I) << Host::Answer::Ignore;
        QTest::newRow("Alt+J says yes to a question") << int(Qt::Key_J) << Host::Answer::Yes;
    }
    void accessKeys()
    {
        QFETCH(int, key);
        Window w;
        w.form.Btn(Form1::InfoBtn)->click();
        QTimer::singleShot(0, [key] {
            QTimer::singleShot(2000, QApplication::activeModalWidget(), &QWidget::close); // a dead key fails, not hangs
            for (const QWidget *window : QApplication::topLevelWidgets()) {
                QList<QKeySequence> keys;
                for (const QAction *item : window->actions())
                    keys << QKeySequence::mnemonic(item->text());
                for (const QAbstractButton *b : window->findChildren<QAbstractButton *>())
                    keys << (b->window() == window ? QKeySequence::mnemonic(b->text()) : QKeySequence());
                keys.removeAll(QKeySequence());
                QVERIFY2(QSet(keys.begin(), keys.end()).size() == keys.size(), window->metaObject()->className());
            }
            QApplication::setActiveWindow(QApplication::activeModalWidget());
            QTest::keyClick(QApplication::activeModalWidget(), Qt::Key(key), Qt::AltModifier);
        });
        const auto buttons = key == Qt::Key_J ? Host::Buttons::YesNo : Host::Buttons::AbortRetryIgnore;
        QTEST(w.form.Form1::showMessage("?", Host::Icon::Critical, buttons), "answer");
    }

    void startStateAndCommands()
    {
        Window w;
        TestForm &f = w.form;
        QVERIFY(f.isVisible() && f.CompModeOpt[0]->isChecked() && f.ToolTipCheck->isChecked());
        QVERIFY(!f.SofortStartCheck->isChecked() && !f.MyTopMostChk->isChecked() && !f.SpeedCheck->isChecked());
        f.MyTopMostChk->click(); // the window stays in sight, above the others
        QVERIFY(f.isVisible() && f.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        // Switched off, the tool tips go, except the folder buttons' own; switched on, they come back.
        QVERIFY(!f.Liste->toolTip().isEmpty() && !f.CompModeOpt[1]->toolTip().isEmpty());
        f.ToolTipCheck->click();
        for (QWidget *widget : f.findChildren<QWidget *>())
            QVERIFY(widget->toolTip().isEmpty() || widget == f.Btn(Form1::LeftFolderBtn) ||
                    widget == f.Btn(Form1::RightFolderBtn));
        f.ToolTipCheck->click();
        QVERIFY(f.Liste->toolTip().startsWith("Die zu vergleichenden Verzeichnisse zunächst in die linke"));

        w.left.file("a", "neu", TestDir::DefaultTime + 60);
        w.right.file("a", "alt");
        w.load(w.left.path(), true);
        w.load(w.right.path(), false);

        QTest::mouseClick(f.CompModeOpt[0], Qt::LeftButton);
        QVERIFY(!f.Btn(Form1::SynchroniseBtn)->isEnabled());
        f.Btn(Form1::CompareBtn)->click();
        QVERIFY(f.messages.last().startsWith("Ergebnis des Binärvergleichs von 1 Dateien:"));
        QCOMPARE(w.column(1), QStringList{"<>"});

        QTest::mouseClick(f.CompModeOpt[1], Qt::LeftButton);
        QVERIFY(f.Btn(Form1::SynchroniseBtn)->isEnabled());
        f.core().EnableCompareCommand(false); // as while an operation runs: the comparison's button alone
        QVERIFY(!f.Btn(Form1::CompareBtn)->isEnabled() && f.Btn(Form1::SynchroniseBtn)->isEnabled());
        f.core().EnableCompareCommand(true);
        f.Btn(Form1::CompareBtn)->click();
        f.Btn(Form1::ClipboardBtn)->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("a\t-->\ta\r\n"));
        f.Btn(Form1::SynchroniseBtn)->click();
        QCOMPARE(w.right.contents(), QStringList{"a:neu"});
        QCOMPARE(f.SbarPanel[1]->text(), QString("Status: Datenabgleich beendet."));
        QApplication::setActiveWindow(&f);
        QTest::keyClick(&f, Qt::Key_F5); // both folders again, and the comparison once
        QCOMPARE(w.column(1), QStringList{"="});

        f.Btn(Form1::HelpBtn)->click(); // no help pages beside the test program
        QCOMPARE(f.messages.last(), QString("Die Online-Hilfe konnte leider nicht gefunden werden ..."));
        QVERIFY(!f.hasEnded());
        f.Btn(Form1::EndBtn)->click();
        QVERIFY(f.hasEnded());
    }

    void foldersByButtonDropAndArguments()
    {
        Window w;
        w.left.file("L/a");
        w.left.file("R/a");
        w.left.file("N/n");
        w.form.Btn(Form1::RightFolderBtn)->click(); // cancelled dialog
        QCOMPARE(w.form.core().list().count(), 0);
        w.form.chosenFolder = w.left.path("L");
        w.form.Btn(Form1::RightFolderBtn)->click(); // the list is empty, so the left column it is
        QCOMPARE(w.column(0), QStringList{"a"});
        w.form.chosenFolder = w.left.path("R");
        w.form.Btn(Form1::RightFolderBtn)->click();
        QCOMPARE(w.column(2), QStringList{"a"});
        const int edge = w.form.Liste->header()->sectionSize(0);
        w.drop({w.left.path("N")}, edge - 1);
        QCOMPARE(w.column(0) + w.column(2), (QStringList{"n", ""}));
        w.drop({w.left.path("R")}, edge);
        QCOMPARE(w.column(2), (QStringList{"a", ""}));
        w.drop({w.left.path("L"), w.left.path("R")}, 5);
        QCOMPARE(w.form.messages, QStringList{"Bitte jeweils nur ein einzelnes Verzeichnis in die Liste ziehen!"});

        // As a file manager opens folders with the program: the first on the left, the second on the right.
        TestForm form(w.fs);
        form.Form_Load({QString::fromUtf8(w.left.path("L")), QString::fromUtf8(w.left.path("N"))});
        QCOMPARE(form.core().LeftPath() + form.core().RightPath(), w.left.path("L/") + w.left.path("N/"));
        QCOMPARE(form.core().list().count(), 2);
        // Anything else names a control file: a folder and a file are no two folders.
        TestForm other(w.fs);
        other.Form_Load({QString::fromUtf8(w.left.path("L")), QString::fromUtf8(w.left.path("N/n"))});
        QCOMPARE(other.core().list().count(), 0);
        QVERIFY(other.messages.size() == 1 && other.messages[0].contains("wurde nicht gefunden."));
    }

    void rowMenu()
    {
        Window w;
        TestForm &f = w.form;
        for (const char *name : {"a", "b", "c", "d", "e"})
            w.left.file(name);
        w.load(w.left.path(), true);
        f.activateWindow(); // Tab leaves the list rather than walking its cells
        QVERIFY(QTest::qWaitForWindowActive(&f));
        f.Liste->setFocus();
        f.Liste->setCurrentIndex(f.Liste->model()->index(0, 0));
        QTest::keyClick(f.Liste, Qt::Key_End); // the last row, then the first, selected alone; Ctrl or not
        QCOMPARE(f.Liste->selectionModel()->selectedRows(), QModelIndexList{f.Liste->model()->index(4, 0)});
        QTest::keyClick(f.Liste, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(f.Liste->selectionModel()->selectedRows(), QModelIndexList{f.Liste->model()->index(0, 0)});
        QTest::keyClick(f.Liste, Qt::Key_Tab);
        QVERIFY(f.focusWidget() && f.focusWidget() != f.Liste);
        for (int row : {0, 2, 4})
            f.Liste->selectionModel()->select(f.Liste->model()->index(row, 0),
                                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QCOMPARE(f.pum->defaultAction(), f.pumXXX(10));
        f.Liste_MouseDown(2);
        f.Liste_Click();
        QVERIFY(f.pum->isVisible());
        f.pumXXX(4)->trigger();
        f.pum->hide();
        QCOMPARE(w.column(1), (QStringList{"X->", "", "X->", "", "X->"}));
        for (int index : {3, 7, 9, 10, 0, 11}) // separators, the heading and the closing item write nothing
            f.pumXXX_Click(index);
        QCOMPARE(w.column(1), (QStringList{"X->", "", "X->", "", "X->"}));
        QStringList written;
        for (int index : {1, 2, 5, 6, 8}) {
            f.pumXXX_Click(index);
            written << w.column(1)[2];
        }
        QCOMPARE(written, (QStringList{"-->", "<--", "<-X", "XX", "]["}));

        // While an operation runs the menu writes nothing: "delete both", chosen while the rows are copied.
        for (const char *name : {"a", "b", "c", "d", "e"})
            w.right.file(name);
        w.load(w.right.path(), false);
        f.pumXXX_Click(1);
        QTimer::singleShot(0, &f, [&] { f.pumXXX_Click(6); });
        f.core().RunSynchronisation();
        QCOMPARE(w.left.contents() + w.right.contents(), QString("a: b: c: d: e: a: b: c: d: e:").split(' '));
        QVERIFY(!w.column(1).contains("XX"));
    }

    void captionsWhole()
    {
        const QFont desktop = QApplication::font();
        QFont font = desktop;
        font.setPointSizeF(14);
        QApplication::setFont(font);
        const auto restore = qScopeGuard([&] { QApplication::setFont(desktop); });
        // A screen that cannot hold the window at the desktop's font gets a smaller font, never cut captions.
        for (const QSize room : {QSize(1600, 1000), QSize(800, 520)}) {
            FaultyFileSystem fs;
            TestForm f(fs);
            f.room = room;
            f.Form_Load();
            QVERIFY(room.width() >= 1600 ? f.font().pointSizeF() == 14 : f.font().pointSizeF() < 14);
            QCOMPARE(f.minimumSize(), f.size()); // the start size is the least size, and the screen holds it
            QVERIFY(f.Liste->verticalHeader()->defaultSectionSize() <= f.fontMetrics().height() * 3 / 2);
            QVERIFY(f.width() <= room.width() && f.height() <= room.height());
            f.Btn(Form1::InfoBtn)->click();
            // Every caption, at the window's font, inside its box: all its lines, and the indicator of a
            // check box.
            QStringList cut;
            for (QWidget *window : {static_cast<QWidget *>(&f), static_cast<QWidget *>(f.infoForm())}) {
                for (const QAbstractButton *b : window->findChildren<QAbstractButton *>()) {
                    const QStringList lines = b->text().remove(u'&').split(u'\n');
                    const QFontMetrics metrics(b->font());
                    int textWidth = 0;
                    for (const QString &line : lines)
                        textWidth = qMax(textWidth, metrics.horizontalAdvance(line));
                    const QSize needed = qobject_cast<const QPushButton *>(b)
                                             ? QSize(textWidth + 6, lines.size() * metrics.height() + 4)
                                             : b->sizeHint();
                    if (!lines.join("").isEmpty() && (needed.width() > b->width() || needed.height() > b->height()))
                        cut << b->text();
                }
            }
            QVERIFY2(cut.isEmpty(), qPrintable(cut.join(" | ")));
        }
    }

    void headerSortAndFlip()
    {
        Window w;
        Form1 &f = w.form;
        for (const char *name : {"b", "a", "c"})
            w.left.file(name);
        w.right.file("B");
        w.right.file("z");
        w.load(w.left.path(), true);
        w.load(w.right.path(), false);
        QCOMPARE(w.column(0), (QStringList{"", "a", "b", "c"})); // loads sort by column 1, ascending
        f.Liste_ColumnClick(1);
        f.Liste_ColumnClick(1);
        QCOMPARE(w.column(0), (QStringList{"c", "b", "a", ""}));
        f.Liste_ColumnClick(3); // a new column keeps the reversed direction
        QCOMPARE(w.column(2), (QStringList{"z", "B", "", ""}));
    }

    void layoutFollowsTheWindow()
    {
        Window w;
        Form1 &f = w.form;
        const QList<QWidget *> controls{f.Liste, f.Frame3, f.Frame4, f.Btn(Form1::RightFolderBtn),
                                        f.Btn(Form1::LeftFolderBtn)};
        QList<QRect> before;
        for (QWidget *c : controls)
            before << c->geometry();
        const int col0 = f.Liste->header()->sectionSize(0), col1 = f.Liste->header()->sectionSize(1);
        const QSize start = f.size();
        auto resizeTo = [&](int width, int height) {
            f.resize(width, height);
            QTRY_COMPARE(f.size(), QSize(qMax(width, start.width()), qMax(height, start.height())));
        };
        // Many sizes, then one: every placement starts from the record, so nothing drifts.
        for (int i = 0; i < 20; ++i)
            resizeTo(start.width() + (i * 37) % 300, start.height() + (i * 53) % 200);
        resizeTo(start.width() + 60, start.height() + 30); // 900 x 450 twips larger
        const QList<QRect> after{before[0].adjusted(0, 0, 60, 30), before[1].translated(0, 30).adjusted(0, 0, 60, 0),
                                 before[2].translated(60, 0), before[3].translated(60, 30), before[4]};
        for (int i = 0; i < controls.size(); ++i)
            QCOMPARE(controls[i]->geometry(), after[i]);
        QCOMPARE(f.Liste->header()->sectionSize(0), col0 + 30);
        QCOMPARE(col0 + 30 + col1 + f.Liste->header()->sectionSize(2), f.Liste->viewport()->width());

        // A width the user drags is the column's new base: the next resize keeps it and adds the share.
        resizeTo(start.width() + 60, start.height());
        f.Liste->header()->resizeSection(0, 200);
        resizeTo(start.width() + 120, start.height());
        QCOMPARE(f.Liste->header()->sectionSize(0), 230);
        resizeTo(start.width(), start.height());
        QCOMPARE(f.Liste->header()->sectionSize(0), 170);

        // With a vertical scroll bar too, the right names end where the list does: their sort arrow shows.
        for (int i = 0; i < 100; ++i)
            w.left.file("f" + QByteArray::number(i));
        w.load(w.left.path(), true);
        QTRY_VERIFY(f.Liste->verticalScrollBar()->isVisible());
        QCOMPARE(f.Liste->header()->sectionPosition(2) + f.Liste->header()->sectionSize(2),
                 f.Liste->viewport()->width());
        QVERIFY(!f.Liste->horizontalScrollBar()->isVisible());
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
        QCOMPARE(store.value("_Top").toString() + ' ' + store.value("_Left").toString(), QString("450 600"));
        QCOMPARE(Window().form.pos(), QPoint(40, 30));
        // A corner off the screen, exactly on its far edge included, or no number: centred.
        const QString bottom = QString::number(screen.height() * 15), right = QString::number(screen.width() * 15);
        for (const auto &[top, left] : std::initializer_list<std::pair<QString, QString>>{
                 {"0", "600"}, {"-1", "600"}, {"99999999", "600"}, {"abc", "600"}, {bottom, "600"},
                 {"450", right}}) {
            store.setValue("_Top", top);
            store.setValue("_Left", left);
            Window w;
            QVERIFY2(w.form.pos() == centred(w.form), qPrintable(top + ' ' + left));
        }
    }

    void endingDuringALongOperation_data()
    {
        QTest::addColumn<bool>("closeBox");
        QTest::addColumn<bool>("batch");
        QTest::addColumn<bool>("escape");
        QTest::newRow("the close box, batch run") << true << true << false;
        QTest::newRow("\"&Ende\", synchronisation") << false << false << false;
        QTest::newRow("Escape, batch run") << false << true << true;
        QTest::newRow("Escape, synchronisation") << false << false << true;
    }
    void endingDuringALongOperation()
    {
        // The operation stops at its next yield and the program ends (Escape: stays): no file is touched
        // after the click.
        QFETCH(bool, closeBox);
        QFETCH(bool, batch);
        QFETCH(bool, escape);
        QSettings store("Norvane Software", "Kalmora");
        store.clear();
        FaultyFileSystem fs;
        TestDir dir;
        for (const char *name : {"a", "b"}) {
            dir.file("L/" + QByteArray(name), "neu", TestDir::DefaultTime + 60);
            dir.file("R/" + QByteArray(name), "alt");
        }
        dir.file("steuer.ini", "[Pfade]\nLinks=" + dir.path("L") + "\nRechts=" + dir.path("R") +
                                   "\n[AutoStart]\nAltersvergleich=1\nAbgleich=1\n");
        TestForm form(fs);
        const auto end = [&] {
            if (escape) {
                QApplication::setActiveWindow(&form); // the key goes to the active window
                QTest::keyClick(&form, Qt::Key_Escape);
            }
            else
                closeBox ? void(form.close()) : form.Btn(Form1::EndBtn)->click();
        };
        if (batch) {
            QTimer::singleShot(0, &form, end);
            form.Form_Load({QString::fromUtf8(dir.path("steuer.ini"))});
            QVERIFY(fs.changes.isEmpty());
        } else {
            form.Form_Load({QString::fromUtf8(dir.path("L")), QString::fromUtf8(dir.path("R"))});
            form.CompModeOpt[1]->click();
            form.Btn(Form1::CompareBtn)->click();
            QTimer::singleShot(0, &form, end);
            form.Btn(Form1::SynchroniseBtn)->click();
            QCOMPARE(fs.changes.size(), 1); // the row under way is finished
        }
        QCOMPARE(form.hasEnded(), !escape);
        QCOMPARE(form.SbarPanel[1]->text() == "Status: Datenabgleich abgebrochen.", !batch);
        QVERIFY(dir.contents().contains("R/a:alt"));
        QCOMPARE(store.contains("_Top"), closeBox); // a normal close keeps the window's place
    }
};

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"

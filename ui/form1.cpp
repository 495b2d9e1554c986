#include "form1.h"
#include "listview.h"
#include "modresizeapp.h"
#include "qzsammlung.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QStyle>

using namespace ModresizeApp;

namespace {

// Design geometry of every control, in twips of the window's font (ModresizeApp::TwipsPerPixel).
struct Place
{
    int left, top, width, height;
};
constexpr Place WindowSize{0, 0, 8730, 6210};
constexpr Place Frame1Place{60, 60, 8595, 4395};
constexpr Place ListePlace{120, 240, 8355, 3555};
constexpr Place Frame2Place{120, 3900, 6255, 435};
constexpr Place Btn0Place{0, 0, 1395, 375};
constexpr Place Opt0Place{1620, 0, 1335, 375};
constexpr Place Opt1Place{3000, 0, 1395, 375};
constexpr Place PbarPlace{4560, 0, 1575, 375};
constexpr Place Btn1Place{7140, 3960, 1395, 375};
constexpr Place Frame3Place{60, 4560, 8595, 1335};
constexpr Place SofortPlace{120, 240, 3225, 435};
constexpr Place ToolTipPlace{120, 930, 1635, 255};
constexpr Place TopMostPlace{3480, 240, 1755, 435};
constexpr Place SpeedPlace{3480, 900, 1755, 315};
constexpr Place Frame4Place{5460, 240, 3075, 1035};
constexpr Place SbarPlace{0, 5955, 8730, 255};

// Column widths in hundredths of a millimetre at the design font. The right names take what the list leaves;
// the spare and stamp columns are hidden.
constexpr int ColumnWidths[common::ComparisonList::ColumnCount] = {6662, 1411, 6662, 117592, 0, 0};

void place(QWidget *w, const Place &p)
{
    PlaceInTwips(w, p.left, p.top, p.width, p.height);
}

// The marker that row menu item index writes; None for separators, "&Abbrechen" and anything else.
common::Marker menuMarker(int index)
{
    switch (index) {
    case 1: return common::Marker::CopyRight;
    case 2: return common::Marker::CopyLeft;
    case 4: return common::Marker::DeleteRight;
    case 5: return common::Marker::DeleteLeft;
    case 6: return common::Marker::DeleteBoth;
    case 8: return common::Marker::Skip;
    default: return common::Marker::None;
    }
}

} // namespace

Form1::Form1(common::FileSystem &fileSystem, QWidget *parent)
    : QWidget(parent), m_fileSystem(fileSystem), m_core(m_host, fileSystem),
      m_screenFit(*this, QSize(WindowSize.width, WindowSize.height))
{
    setWindowIcon(QZSAMMLUNG::ProgramIcon());
    createControls();
    createRowMenu();
    createShortcuts();
}

Form1::~Form1() = default;

QPushButton *Form1::Btn(int index) const
{
    return index >= LeftFolderBtn && index <= InfoBtn ? m_buttons[index] : nullptr;
}

QAction *Form1::pumXXX(int index) const
{
    return index >= 1 && index <= 10 ? m_menuItems[index] : nullptr;
}

void Form1::createControls()
{
    auto button = [&](int index, QWidget *parent, const QString &caption, const Place &p) {
        auto *b = new QPushButton(caption, parent);
        place(b, p);
        connect(b, &QPushButton::clicked, this, [this, index] { Btn_Click(index); });
        m_buttons[index] = b;
        return b;
    };
    auto check = [&](QWidget *parent, const QString &caption, const Place &p) {
        auto *c = new QCheckBox(caption, parent);
        place(c, p);
        return c;
    };

    Frame1 = new QGroupBox(QStringLiteral("Vergleichsliste"), this);
    place(Frame1, Frame1Place);
    Liste = new ListView(Frame1);
    place(Liste, ListePlace);
    Liste->setModel(&m_core.list());
    Liste->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Liste->setSelectionBehavior(QAbstractItemView::SelectRows);
    Liste->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(Liste, &ListView::mouseDown, this, &Form1::Liste_MouseDown);
    connect(Liste, &ListView::mouseUpInside, this, &Form1::Liste_Click);
    connect(Liste, &ListView::rowMenuKey, this, &Form1::openRowMenuAtCurrentRow);
    connect(Liste, &ListView::pathsDropped, this,
            [this](const std::vector<common::NativePath> &paths, int x) { m_core.DropFolder(paths, x); });
    QHeaderView *header = Liste->header();
    header->setSectionsMovable(false);
    header->setSectionsClickable(true);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The stretched last column never gets narrower than it was when stretching began: from its least width.
    header->resizeSection(common::ComparisonList::RightNameColumn, header->minimumSectionSize());
    header->hideSection(common::ComparisonList::SpareColumn);
    header->hideSection(common::ComparisonList::LeftStampColumn);
    header->hideSection(common::ComparisonList::RightStampColumn);
    // The right names fill the list to its right edge, so their sort arrow stays in sight; the spare and
    // stamp columns stay in the model and out of sight, and no scroll bar shows what holds nothing.
    header->setStretchLastSection(true);
    connect(header, &QHeaderView::sectionResized, this, [this](int column, int, int size) {
        if (column != 0)
            return;
        m_core.list().setColumn1Width(size);
        // A width the user dragged is the column's new base: less the share of the window's growth so far,
        // which every later placement adds again.
        if (m_layoutStored && !m_layingOut)
            RecordWidth(m_leftColumn, float(size * TwipsPerPixel(this).x) - 0.5f * m_growth.DeltaWidth);
    });
    connect(header, &QHeaderView::sectionClicked, this, [this](int column) { Liste_ColumnClick(column + 1); });
    connect(&m_core.list(), &QAbstractItemModel::layoutChanged, this, &Form1::syncSortIndicator);
    m_leftColumn = new ColumnHeader(header, common::ComparisonList::LeftNameColumn);

    Frame2 = new QWidget(Frame1);
    place(Frame2, Frame2Place);
    const QIcon folderIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    button(LeftFolderBtn, Frame2, QString(), Btn0Place)->setIcon(folderIcon);
    CompModeOpt[0] = new QRadioButton(QStringLiteral("&Binärvergleich"), Frame2);
    place(CompModeOpt[0], Opt0Place);
    CompModeOpt[1] = new QRadioButton(QStringLiteral("Al&tersvergleich"), Frame2);
    place(CompModeOpt[1], Opt1Place);
    for (int i = 0; i < 2; ++i)
        connect(CompModeOpt[i], &QRadioButton::clicked, this, [this, i] { CompModeOpt_Click(i); });
    CompModeOpt[0]->setChecked(true);
    Pbar = new QProgressBar(Frame2);
    place(Pbar, PbarPlace);
    Pbar->setRange(0, 100);
    Pbar->setValue(0);
    Pbar->setTextVisible(false);
    button(RightFolderBtn, this, QString(), Btn1Place)->setIcon(folderIcon);
    for (int i : {LeftFolderBtn, RightFolderBtn})
        m_buttons[i]->setAccessibleName(QStringLiteral("Ordner auswählen"));

    Frame3 = new QGroupBox(QStringLiteral("Steuerung"), this);
    place(Frame3, Frame3Place);
    // Captions that need two lines are broken where the design breaks them.
    SofortStartCheck = check(Frame3,
                             QStringLiteral("&Nach dem Auffüllen der rechten Spalte\nsofort mit dem Vergleich beginnen"),
                             SofortPlace);
    // Each access key once in the window: "ToolTi&ps" beside "Al&tersvergleich", "In&fo" beside "&immer".
    ToolTipCheck = check(Frame3, QStringLiteral("ToolTi&ps anzeigen"), ToolTipPlace);
    MyTopMostChk = check(Frame3, QStringLiteral("Fenster &immer im\nVordergrund halten"), TopMostPlace);
    SpeedCheck = check(Frame3, QStringLiteral("&Schneller ausführen"), SpeedPlace);
    connect(ToolTipCheck, &QCheckBox::toggled, this, &Form1::ToolTipCheck_Click);
    connect(MyTopMostChk, &QCheckBox::toggled, this, &Form1::MyTopMostChk_Click);

    Frame4 = new QWidget(Frame3);
    place(Frame4, Frame4Place);
    button(CompareBtn, Frame4, QStringLiteral("Dateien-\n&vergleich"), {0, 0, 975, 555});
    button(SynchroniseBtn, Frame4, QStringLiteral("Dateien-\n&abgleich"), {1020, 0, 975, 555})
        ->setEnabled(false);
    button(ClipboardBtn, Frame4, QStringLiteral("&Zwischen-\nablage"), {2040, 0, 975, 555});
    button(HelpBtn, Frame4, QStringLiteral("&Hilfe"), {0, 600, 975, 375});
    button(InfoBtn, Frame4, QStringLiteral("In&fo"), {1020, 600, 975, 375});
    button(EndBtn, Frame4, QStringLiteral("&Ende"), {2040, 600, 975, 375});

    Sbar = new QStatusBar(this);
    place(Sbar, SbarPlace);
    Sbar->setSizeGripEnabled(false);
    for (int i = 0; i < 2; ++i) {
        SbarPanel[i] = new QLabel(Sbar);
        Sbar->addWidget(SbarPanel[i], i);
    }

    QWidget *tabOrder[] = {Liste, m_buttons[LeftFolderBtn], CompModeOpt[0], CompModeOpt[1],
                           m_buttons[RightFolderBtn], SofortStartCheck, ToolTipCheck, MyTopMostChk,
                           SpeedCheck, m_buttons[CompareBtn], m_buttons[SynchroniseBtn], m_buttons[ClipboardBtn],
                           m_buttons[HelpBtn], m_buttons[InfoBtn], m_buttons[EndBtn]};
    for (size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    placeForFont();
}

void Form1::placeForFont()
{
    m_screenFit.placeForFont();
    const double letterTwips = TwipsPerPixel(this).x;
    for (int c : {common::ComparisonList::LeftNameColumn, common::ComparisonList::MarkerColumn})
        Liste->header()->resizeSection(c, qRound(ColumnWidths[c] * 1440.0 / 2540.0 / letterTwips));
    const int iconSide = fontMetrics().height() * 3 / 2;
    for (int i : {LeftFolderBtn, RightFolderBtn})
        m_buttons[i]->setIconSize(QSize(iconSide, iconSide));
    SbarPanel[0]->setMinimumWidth(qRound(1500 / letterTwips));
}

QSize Form1::screenRoom() const
{
    return m_screenFit.screenRoom();
}

void Form1::createRowMenu()
{
    pum = new QMenu(this);
    const char *captions[] = {nullptr,
                              "--> kopiere nach &rechts",
                              "<-- kopiere nach &links",
                              "-",
                              "X-> r&echts löschen",
                              "<-X l&inks löschen",
                              "XX  &beide löschen",
                              "-",
                              "][ &übergehen",
                              "-",
                              "&Abbrechen"};
    for (int i = 1; i <= 10; ++i) {
        const QString caption = QString::fromUtf8(captions[i]);
        QAction *item = caption == u"-" ? pum->addSeparator() : pum->addAction(caption);
        connect(item, &QAction::triggered, this, [this, i] { pumXXX_Click(i); });
        m_menuItems[i] = item;
    }
    pum->setDefaultAction(m_menuItems[10]);
}

void Form1::Form_Load(const QStringList &arguments)
{
    if (m_screenFit.fitFont(screenRoom()))
        placeForFont();
    LayoutMainWindow(-1);
    m_screenFit.fitSize(screenRoom());
    QZSAMMLUNG::RestoreWindowPlacement(this);
    setWindowTitle(QString::fromLatin1(ProgramName));
    ToolTipCheck->setChecked(true);
    SelectCompareMode(0);
    m_core.list().ClearList();
    show();
    if (!loadFolderArguments(arguments))
        m_core.RunBatchMode(arguments.join(u' '));
}

bool Form1::loadFolderArguments(const QStringList &arguments)
{
    if (arguments.isEmpty() || arguments.size() > 2)
        return false;
    std::vector<common::NativePath> folders;
    for (const QString &argument : arguments) {
        const common::NativePath path = QFile::encodeName(QDir::cleanPath(QFileInfo(argument).absoluteFilePath()));
        common::EntryInfo info;
        if (argument.isEmpty() || m_fileSystem.inspect(path, info) != 0 || info.kind != common::EntryKind::Folder)
            return false;
        folders.push_back(path);
    }
    if (folders.size() == 2)
        m_core.PlanBothLoads(folders[0], folders[1]);
    for (size_t i = 0; i < folders.size() && !m_host.stopRequested(); ++i) {
        bool toLeft = i == 0;
        m_core.LoadFolder(folders[i], toLeft);
    }
    return true;
}

void Form1::Btn_Click(int index)
{
    bool toLeft = index == LeftFolderBtn;
    switch (index) {
    case LeftFolderBtn:
    case RightFolderBtn:
        m_folderButtonLeft = toLeft; // the dialog opens at the folder of the button's side
        m_core.AskForFolder(toLeft);
        break;
    case HelpBtn: {
        QString page;
        switch (QZSAMMLUNG::ShowHelp(&page)) {
        case QZSAMMLUNG::HelpShown::NoPages:
            showMessage(QStringLiteral("Die Online-Hilfe konnte leider nicht gefunden werden ..."), Icon::Information,
                        Buttons::Ok);
            break;
        case QZSAMMLUNG::HelpShown::NoOpener:
            showMessage(QStringLiteral("Die Online-Hilfe konnte nicht angezeigt werden: Es ist kein Programm zum "
                                       "Anzeigen von HTML-Seiten eingerichtet.") +
                            common::CR + QStringLiteral("Sie finden die Hilfe in der Datei '") +
                            QDir::toNativeSeparators(page) + QStringLiteral("'."),
                        Icon::Information, Buttons::Ok);
            break;
        case QZSAMMLUNG::HelpShown::Opened: break;
        }
        break;
    }
    case ClipboardBtn: m_core.ExportListToClipboard(); break;
    case SynchroniseBtn: m_core.RunSynchronisation(); break;
    case CompareBtn: m_core.RunComparison(CompModeOpt[0]->isChecked()); break;
    case EndBtn: m_host.endProgramNow(); break;
    case InfoBtn:
        if (!m_infoForm) {
            m_infoForm = new InfoForm(this);
            connect(m_infoForm, &InfoForm::message, this,
                    [this](const QString &text) { showMessage(text, Icon::Information, Buttons::Ok); });
        }
        m_infoForm->show();
        m_infoForm->raise();
        m_infoForm->activateWindow();
        break;
    default: break;
    }
}

void Form1::CompModeOpt_Click(int index)
{
    m_buttons[SynchroniseBtn]->setEnabled(index == 1);
}

void Form1::SelectCompareMode(int index)
{
    CompModeOpt[index]->setChecked(true);
    CompModeOpt_Click(index);
}

void Form1::LoadToolTips(int mode)
{
    const bool on = mode != 0;
    auto tip = [on](QWidget *w, const QString &text) { w->setToolTip(on ? text : QString()); };
    tip(Liste, QStringLiteral("Die zu vergleichenden Verzeichnisse zunächst in die linke und dann in die rechte "
                              "Spalte ziehen."));
    if (on) {
        m_buttons[LeftFolderBtn]->setToolTip(QStringLiteral("Öffnet einen Dialog zur Verzeichnisauswahl"));
        m_buttons[RightFolderBtn]->setToolTip(QStringLiteral("Öffnet einen Dialog zur Verzeichnisauswahl"));
    }
    tip(m_buttons[ClipboardBtn], QStringLiteral("Kopiert den aktuellen Listeninhalt in die Zwischenablage"));
    tip(m_buttons[SynchroniseBtn],
        QStringLiteral("Führt den Datenabgleich abhängig von der Relationsliste durch."));
    tip(m_buttons[CompareBtn], QStringLiteral("Startet den Vergleich der Dateien in den beiden Verzeichnissen.\n"
                                              "F5 liest beide Ordner neu ein und vergleicht sie erneut."));
    tip(m_buttons[EndBtn], QStringLiteral("Beendet das Programm."));
    tip(m_buttons[InfoBtn], QStringLiteral("Gibt Zusatzinfos über das Programm"));
    tip(Pbar, QStringLiteral("Zeigt den aktuellen Verarbeitungsstand an."));
    tip(SbarPanel[0], QStringLiteral("Anzahl der Dateien in der Liste."));
    tip(SbarPanel[1], QStringLiteral("Programmstatus und Hinweise für den Anwender."));
    tip(ToolTipCheck, QStringLiteral("Schaltet die Tooltips ein oder aus"));
    tip(SpeedCheck, QStringLiteral("Erhöht die Performance von ") + QString::fromLatin1(ProgramName) +
                        QStringLiteral(" zu Lasten anderer Tasks."));
    tip(CompModeOpt[0], QStringLiteral("Wählt den binären Vergleichsmodus"));
    tip(CompModeOpt[1], QStringLiteral("Wählt den versionsbezogenen Vergleichsmodus"));
}

void Form1::ToolTipCheck_Click()
{
    LoadToolTips(ToolTipCheck->isChecked() ? 1 : 0);
}

void Form1::MyTopMostChk_Click()
{
    QZSAMMLUNG::SetTopMost(this, MyTopMostChk->isChecked());
}

void Form1::Liste_MouseDown(int button)
{
    m_lastMouseButton = button;
}

void Form1::Liste_Click()
{
    if (m_lastMouseButton == 2)
        pum->popup(QCursor::pos());
}

void Form1::openRowMenuAtCurrentRow()
{
    if (pum->isVisible())
        return;
    const QRect row = Liste->visualRect(Liste->currentIndex());
    const QPoint at = row.isValid() ? row.bottomLeft() : QPoint(0, 0);
    pum->popup(Liste->viewport()->mapToGlobal(at));
}

void Form1::Liste_ColumnClick(int index)
{
    common::ComparisonList &list = m_core.list();
    if (index == m_lastSortColumn) {
        const Qt::SortOrder flipped = list.sortOrder() == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
        if (list.isSorted())
            m_core.SortList(list.sortKey(), flipped);
        else
            list.setSortOrder(flipped);
    } else {
        m_lastSortColumn = qint16(index);
        m_core.SortList(index - 1, list.sortOrder());
    }
    syncSortIndicator(); // the header flips its own indicator on a click; the list's state is what counts
}

void Form1::pumXXX_Click(int index)
{
    const common::Marker marker = menuMarker(index);
    if (marker == common::Marker::None || m_core.isBusy())
        return;
    const QItemSelectionModel *selection = Liste->selectionModel();
    for (const QModelIndex &row : selection->selectedRows())
        m_core.list().setMarker(row.row(), marker);
    m_core.list().announceChanges();
}

void Form1::syncSortIndicator()
{
    const common::ComparisonList &list = m_core.list();
    Liste->header()->setSortIndicatorShown(list.isSorted() && m_lastSortColumn != 0);
    Liste->header()->setSortIndicator(list.sortKey(), list.sortOrder());
}

void Form1::LayoutMainWindow(int mode)
{
    if (mode == -1) {
        StoreGeometry(this, 0);
        for (QObject *o : std::initializer_list<QObject *>{Liste, Frame1, Frame2, Frame3, Frame4})
            StoreGeometry(o, 0);
        StoreGeometry(m_buttons[RightFolderBtn], 0);
        StoreGeometry(m_leftColumn, 100);
        m_layoutStored = true;
        return;
    }
    if (!m_layoutStored)
        return;
    m_layingOut = true;
    // A window below its minimum size is set back to it, in that dimension only. The growth is counted in
    // whole pixels from the recorded size, so a control that takes all of it grows by exactly as many pixels
    // as the window. It is below 0 only where the screen holds less than the recorded size.
    const QSize least = minimumSize();
    if (width() < least.width())
        resize(least.width(), height());
    if (height() < least.height())
        resize(width(), least.height());
    const TwipScale tpp = TwipsPerPixel(this);
    const int recordedWidth = qRound(StoredWidth(this) / tpp.x);
    const int recordedHeight = qRound(StoredHeight(this) / tpp.y);
    m_growth.DeltaWidth = float((qMax(width(), least.width()) - recordedWidth) * tpp.x);
    m_growth.DeltaHeight = float((qMax(height(), least.height()) - recordedHeight) * tpp.y);
    m_growth.GrowSize(Liste, 0, 0);
    m_growth.GrowSize(Frame1, 0, 0);
    m_growth.ShiftTop(Frame2, 0);
    m_growth.GrowWidth(Frame3, 0);
    m_growth.ShiftTop(Frame3, 0);
    m_growth.ShiftPosition(m_buttons[RightFolderBtn], 0, 0);
    m_growth.ShiftLeft(Frame4, 0);
    // The left names take half the growth; the right names, filling the rest of the list, the other half.
    m_growth.GrowWidth(m_leftColumn, 0.5f);
    Sbar->setGeometry(0, height() - Sbar->height(), width(), Sbar->height());
    m_layingOut = false;
}

void Form1::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (!isMinimized())
        LayoutMainWindow(0);
}

void Form1::closeEvent(QCloseEvent *event)
{
    QZSAMMLUNG::SaveWindowPlacement(this);
    if (m_core.isBusy() || m_core.BatchMode()) {
        // The window stays until the operation has stopped; then the program ends.
        event->ignore();
        m_host.endProgramNow();
        return;
    }
    QWidget::closeEvent(event);
}

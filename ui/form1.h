#pragma once

#include "core.h"
#include "infoform.h"
#include "modresizeapp.h"
#include "screenfit.h"
#include "windowhost.h"

#include <QPointer>
#include <QWidget>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStatusBar;
class ListView;

/// The main window: the comparison list above, the commands below, the status bar at the bottom. It holds
/// no comparison logic: its commands forward to the core, which reaches the window through its WindowHost.
/// Controls keep the names and indices by which the rest of the program and the tests address them.
class Form1 : public QWidget
{
    Q_OBJECT
public:
    using Icon = common::Host::Icon;
    using Buttons = common::Host::Buttons;
    using Answer = common::Host::Answer;

    /// The program's name, as the window's title and its message boxes show it.
    static constexpr char ProgramName[] = "Kalmora";

    /// The command buttons by their index in Btn.
    enum BtnIndex {
        LeftFolderBtn = 0,
        RightFolderBtn = 1,
        HelpBtn = 2,
        ClipboardBtn = 3,
        SynchroniseBtn = 7,
        CompareBtn = 8,
        EndBtn = 9,
        InfoBtn = 10,
    };

    explicit Form1(common::FileSystem &fileSystem, QWidget *parent = nullptr);
    ~Form1() override;

    common::Core &core() { return m_core; }

    /// Start-up: placement, design geometry, title, tool tips, binary mode, empty list, show; then the
    /// arguments: one or two folders (as a file manager passes them) are loaded, left then right; any other
    /// arguments, joined by blanks, name the control file of a batch run.
    void Form_Load(const QStringList &arguments = {});
    /// "&Ende" or the end of a batch run was asked for: the program ends without its closing steps.
    bool hasEnded() const { return m_host.hasEnded(); }

    void Btn_Click(int index);
    void CompModeOpt_Click(int index);
    /// Selects a comparison mode as a click on its option button would.
    void SelectCompareMode(int index);
    void LoadToolTips(int mode);
    void ToolTipCheck_Click();
    void MyTopMostChk_Click();

    /// F5: loads the folders the headers show again, left then right, and compares them once in the selected
    /// mode (only one folder loaded: loads it again); nothing while an operation runs.
    void CompareAgain();
    /// Escape: the running load, comparison or synchronisation, or the batch run, stops at its next pause;
    /// the program stays.
    void StopOperation();
    /// F5's loads are under way: they start no comparison of their own, whatever SofortStartCheck says.
    bool comparingAgain() const { return m_comparingAgain; }

    void Liste_MouseDown(int button);
    void Liste_Click();
    void Liste_ColumnClick(int index);
    void pumXXX_Click(int index);

    /// Mode -1 records the design geometry; any other mode lays the controls out for the current size.
    void LayoutMainWindow(int mode);

    /// The window's modal message box (WindowHost::messageBox); tests answer it here instead.
    virtual Answer showMessage(const QString &text, Icon icon, Buttons buttons);
    /// The folder dialog over the window (WindowHost::folderDialog), open at the folder loaded on the side of
    /// the folder button clicked; tests answer it here instead.
    virtual QByteArray browseForFolder(const QString &title);

    // Controls
    QGroupBox *Frame1;
    ListView *Liste;
    QWidget *Frame2;
    QRadioButton *CompModeOpt[2];
    QProgressBar *Pbar;
    QGroupBox *Frame3;
    QCheckBox *SofortStartCheck;
    QCheckBox *ToolTipCheck;
    QCheckBox *MyTopMostChk;
    QCheckBox *SpeedCheck;
    QWidget *Frame4;
    QStatusBar *Sbar;
    QLabel *SbarPanel[2];
    QMenu *pum;
    QPushButton *Btn(int index) const;
    InfoForm *infoForm() const { return m_infoForm; }
    QAction *pumXXX(int index) const;

protected:
    void resizeEvent(QResizeEvent *event) override;
    /// Form_Unload: a normal close keeps the window's place for the next start. During a long operation or
    /// a batch run, the operation stops at its next pause first and then the program ends.
    void closeEvent(QCloseEvent *event) override;
    /// The room the screen leaves for the window's inside: its free area less a title bar.
    virtual QSize screenRoom() const;

private:
    void createControls();
    /// Places every control for the window's font (after a change of it): from its twips, and the columns,
    /// the folder symbols and the file-count panel in proportion.
    void placeForFont();
    void createRowMenu();
    void createShortcuts();
    /// Loads the arguments as the left and the right folder if there are one or two and each is a folder.
    bool loadFolderArguments(const QStringList &arguments);
    /// The row menu for the keyboard: below the current row, for the selected rows.
    void openRowMenuAtCurrentRow();
    void syncSortIndicator();

    common::FileSystem &m_fileSystem;
    WindowHost m_host{*this};
    bool m_comparingAgain = false;
    bool m_folderButtonLeft = true; ///< the folder button clicked last is the left one
    common::Core m_core;
    ScreenFit m_screenFit;
    QPushButton *m_buttons[InfoBtn + 1] = {};
    QAction *m_menuItems[11] = {};
    QObject *m_leftColumn = nullptr; ///< column 1 as an object of the proportional layout
    ModresizeApp::Growth m_growth;
    QPointer<InfoForm> m_infoForm;
    int m_lastMouseButton = 0;
    qint16 m_lastSortColumn = 0;
    bool m_layoutStored = false;
    bool m_layingOut = false; ///< the layout itself is resizing: no change the user made
};

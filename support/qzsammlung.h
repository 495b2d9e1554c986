#pragma once

#include <QIcon>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QVariant>

class QWidget;

/// Window helpers of the desktop: the settings store, placement, the topmost band, the shell, the help
/// pages, the folder dialog.
namespace QZSAMMLUNG {

/// The vendor's web address, a host name without scheme.
extern const char VendorAddress[];

/// Writes a value under the user's settings of the program.
void SaveAppSetting(const QString &key, const QVariant &value);
/// The text stored under key, or defaultValue when there is none.
QString GetAppSetting(const QString &key, const QString &defaultValue);

/// Offset that centres a length within another: the difference rounded to nearest (ties to even), then
/// halved towards zero. Negative when the window is larger than the screen.
int CenteredOffset(double screenLength, double windowLength);
/// Centres the window on its screen (left edge first, then top).
void CenterOnScreen(QWidget *window);

/// Stores the window's top and left edge (twips) for the next start.
void SaveWindowPlacement(QWidget *window);
/// Puts the window where it was last closed when that corner lies on the screen, else centres it.
void RestoreWindowPlacement(QWidget *window);
/// Whether a stored corner (twips; -1 when missing) may be used on a screen of the given size (twips):
/// both coordinates above 0 and below the screen's extent.
bool StoredCornerUsable(int top, int left, QSize screenTwips);

/// Puts the window into the band of windows above all others, or takes it out, without moving it.
void SetTopMost(QWidget *window, bool onTop);

/// Hands a file path or a web address to the desktop, which opens it with its default program; false when
/// no program could be started for it. showMode 3 asks for a maximised window where the desktop can do that.
bool OpenWithShell(const QString &target, int showMode);
/// True for an existing ordinary file that is not hidden; folders do not count.
bool FileExists(const QString &name);
/// The first help start page found in folder (the program's folder by default), or the empty text.
QString FindHelpFile(const QString &folder = QString());
/// What became of a request for the help pages.
enum class HelpShown { Opened, NoPages, NoOpener };
/// Opens the help start page in the browser; page receives the start page found (the caller tells the
/// user where it lies when no program could show it).
HelpShown ShowHelp(QString *page = nullptr);
/// Opens the vendor's web site in the browser; false when no program could be started for it.
bool OpenVendorSite();

/// The average width of a letter (A to Z, a to z) in the font of the widget's window, in pixels: the unit
/// that window sizes follow, so that a larger desktop font gets larger boxes.
double LetterWidth(const QWidget *widget);

/// The program's icon: the desktop's icon theme's, or the program's own drawing.
QIcon ProgramIcon();

/// Shows the folder dialog over owner with title, open at start (the user's home folder where start is empty
/// or no folder); returns the chosen folder's path or the empty text.
QString BrowseForFolder(QWidget *owner, const QString &title, const QString &start = QString());

} // namespace QZSAMMLUNG

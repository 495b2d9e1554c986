#include "qzsammlung.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QScreen>
#include <QSettings>
#include <QUrl>
#include <QWidget>

#include <cmath>

namespace QZSAMMLUNG {

const char VendorAddress[] = "norvane.example";

namespace {

QSettings settings()
{
    return QSettings(QStringLiteral("Norvane Software"), QStringLiteral("Kalmora"));
}

// The stored corner is in twips of the screen, 1440 to a logical inch, whatever the window's font (the
// controls' twips follow the font instead).
double screenTwipsPerPixel(const QWidget *window)
{
    return 1440.0 / window->logicalDpiX();
}

// A stored coordinate as a number; a text that is none counts as missing.
int storedCoordinate(const QString &key)
{
    bool ok = false;
    const double value = GetAppSetting(key, QStringLiteral("-1")).trimmed().toDouble(&ok);
    return ok && std::isfinite(value) && std::abs(value) < 2e9 ? int(std::lround(value)) : -1;
}

} // namespace

void SaveAppSetting(const QString &key, const QVariant &value)
{
    settings().setValue(key, value.toString());
}

QString GetAppSetting(const QString &key, const QString &defaultValue)
{
    return settings().value(key, defaultValue).toString();
}

int CenteredOffset(double screenLength, double windowLength)
{
    return int(std::nearbyint(screenLength - windowLength)) / 2;
}

void CenterOnScreen(QWidget *window)
{
    const QRect screen = window->screen()->geometry();
    const QSize size = window->frameGeometry().size();
    window->move(screen.x() + CenteredOffset(screen.width(), size.width()), window->y());
    window->move(window->x(), screen.y() + CenteredOffset(screen.height(), size.height()));
}

void SaveWindowPlacement(QWidget *window)
{
    const double tpp = screenTwipsPerPixel(window);
    SaveAppSetting(QStringLiteral("_Top"), QString::number(std::lround(window->y() * tpp)));
    SaveAppSetting(QStringLiteral("_Left"), QString::number(std::lround(window->x() * tpp)));
}

bool StoredCornerUsable(int top, int left, QSize screenTwips)
{
    return top < screenTwips.height() && left < screenTwips.width() && top > 0 && left > 0;
}

void RestoreWindowPlacement(QWidget *window)
{
    const int top = storedCoordinate(QStringLiteral("_Top"));
    const int left = storedCoordinate(QStringLiteral("_Left"));
    const double tpp = screenTwipsPerPixel(window);
    const QSize screen = window->screen()->geometry().size() * tpp;
    if (StoredCornerUsable(top, left, screen))
        window->move(int(std::lround(left / tpp)), int(std::lround(top / tpp)));
    else
        CenterOnScreen(window);
}

void SetTopMost(QWidget *window, bool onTop)
{
    if (window->windowFlags().testFlag(Qt::WindowStaysOnTopHint) == onTop)
        return;
    const bool visible = window->isVisible();
    const QRect geometry = window->geometry();
    // Changing a window flag re-creates the native window, which hides it and may forget its place.
    window->setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    window->setGeometry(geometry);
    if (visible)
        window->show();
}

bool OpenWithShell(const QString &target, int showMode)
{
    Q_UNUSED(showMode); // the desktop decides how the browser's window opens
    const QUrl url = QFileInfo(target).isAbsolute() ? QUrl::fromLocalFile(target)
                                                    : QUrl(QStringLiteral("https://") + target);
    return QDesktopServices::openUrl(url);
}

bool FileExists(const QString &name)
{
    if (name.isEmpty())
        return false;
    const QFileInfo info(name);
    return info.isFile() && !info.isHidden();
}

QString FindHelpFile(const QString &folder)
{
    const QString base = folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder;
    for (const char *sub : {"", "hilfe/"}) {
        for (const char *name : {"index", "hilfe"}) {
            for (const char *ending : {".htm", ".html"}) {
                const QString path = base + u'/' + QLatin1String(sub) + QLatin1String(name) + QLatin1String(ending);
                if (FileExists(path))
                    return path;
            }
        }
    }
    return QString();
}

HelpShown ShowHelp(QString *page)
{
    const QString found = FindHelpFile();
    if (page)
        *page = found;
    if (found.isEmpty())
        return HelpShown::NoPages;
    return OpenWithShell(found, 0) ? HelpShown::Opened : HelpShown::NoOpener;
}

double LetterWidth(const QWidget *widget)
{
    const QWidget *window = widget->window();
    static const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return QFontMetricsF(window->font(), window).horizontalAdvance(letters) / double(letters.size());
}

QIcon ProgramIcon()
{
    return QIcon::fromTheme(QStringLiteral("kalmora"), QIcon(QStringLiteral(":/kalmora.svg")));
}

bool OpenVendorSite()
{
    return OpenWithShell(QString::fromLatin1(VendorAddress), 3);
}

QString BrowseForFolder(QWidget *owner, const QString &title, const QString &start)
{
    const QString folder = !start.isEmpty() && QFileInfo(start).isDir() ? start : QDir::homePath();
    return QFileDialog::getExistingDirectory(owner, title, folder, QFileDialog::ShowDirsOnly);
}

} // namespace QZSAMMLUNG

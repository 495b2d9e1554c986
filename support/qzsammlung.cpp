#include "qzsammlung.h"

#include <QFileDialog>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace QZSAMMLUNG {

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

QString BrowseForFolder(QWidget *owner, const QString &title)
{
    QString shown = title;
    shown.replace(QChar(13), QChar(' '));
    return QFileDialog::getExistingDirectory(owner, shown, QString(), QFileDialog::ShowDirsOnly);
}

} // namespace QZSAMMLUNG

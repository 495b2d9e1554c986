#pragma once

#include <QString>

class QWidget;

/// Window helpers of the desktop: placement, the topmost band, the folder dialog.
namespace QZSAMMLUNG {

/// Offset that centres a length within another: the difference rounded to nearest (ties to even), then
/// halved towards zero. Negative when the window is larger than the screen.
int CenteredOffset(double screenLength, double windowLength);

/// Centres the window on its screen (left edge first, then top).
void CenterOnScreen(QWidget *window);

/// Puts the window into the band of windows above all others, or takes it out, without moving it.
void SetTopMost(QWidget *window, bool onTop);

/// Shows the folder dialog over owner with title; returns the chosen folder's path or the empty text.
QString BrowseForFolder(QWidget *owner, const QString &title);

} // namespace QZSAMMLUNG

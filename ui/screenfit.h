#pragma once

#include <QSize>

class QWidget;

/// Fits a window laid out in twips of its font (ModresizeApp) to its screen: a smaller font where the screen
/// cannot hold the design size at the desktop's, and a start size that the screen holds.
class ScreenFit
{
public:
    /// design: the size of the window's inside in twips.
    ScreenFit(QWidget &window, QSize design);

    /// The room the screen leaves for the window's inside: its free area less a title bar.
    QSize screenRoom() const;
    /// Keeps the window's font if room holds the design size at it; else lowers it, half a point (or a pixel)
    /// at a time, until room holds the design size or the font is down to 6 points (8 pixels). True when it
    /// lowered the font.
    bool fitFont(QSize room);
    /// Places every control again at the twips it keeps, for the window's font, and the window at its design
    /// size; a list's rows take the height of a line of that font.
    void placeForFont();
    /// The start size is the minimum size, both the window's size bounded by room.
    void fitSize(QSize room);

private:
    /// Where a frame's title takes more room than the design gives it (a style's fixed margins outweigh a
    /// small font), the frame's controls move down below it and the frame and the window grow as much. In
    /// pixels only, so that the next font places them from the design again.
    void fitFrames();

    QWidget &m_window;
    QSize m_design;
};

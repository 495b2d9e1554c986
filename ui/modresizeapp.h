#pragma once

#include <QObject>

class QHeaderView;
class QWidget;

/// Proportional layout: each object keeps its design geometry (twips, "Left:Top:Width:Height") in its "Tag"
/// property, and every placement computes from that record plus a share of the window's growth, so that
/// resizing never drifts. Objects are reached by the property names "Left", "Top", "Width" and "Height":
/// widgets through their geometry, other objects (column headers) through their own properties.
namespace ModresizeApp {

/// Design twips follow the window's font the way dialog units follow a dialog's: one reference cell is an
/// average letter of the window's font across (A to Z, a to z) and its line height down. The cell is
/// 84 × 174 twips, 5.6 × 11.6 pixels at 96 dpi: a little under the design font's 6 × 13 pixels, for the room
/// that today's styles put around check boxes and their indicators, so that every caption has all the room
/// it asks for from 8 points up. A larger desktop font gives every box room to match.
constexpr double ReferenceCellWidth = 84;
constexpr double ReferenceCellHeight = 174;

/// Twips per pixel across (x) and down (y) for the font of the widget's window.
struct TwipScale
{
    double x, y;
};
TwipScale TwipsPerPixel(const QWidget *widget);

/// Places a widget at a geometry given in twips. The twips are kept with the widget, so that reading its
/// geometry gives them back exactly as long as it has not been moved or resized in pixels since.
void PlaceInTwips(QWidget *widget, float left, float top, float width, float height);
/// Places a widget again at the twips it keeps, after a change of the window's font; one that keeps none
/// stays where it is.
void PlaceAgain(QWidget *widget);

/// A geometry property in twips; 0 when the object has no such property.
float ReadProperty(QObject *object, const char *name);
/// Sets a geometry property given in twips, rounded to whole pixels (and kept, as by PlaceInTwips).
void WriteProperty(QObject *object, const char *name, float twips);

/// Records the object's geometry in its Tag; mode 100 skips Top and Height (recorded as 0).
void StoreGeometry(QObject *object, int mode);
/// Makes twips the object's recorded width: a width the user chose becomes the base of later placements.
void RecordWidth(QObject *object, float twips);
float StoredLeft(QObject *object);
float StoredTop(QObject *object);
float StoredWidth(QObject *object);
float StoredHeight(QObject *object);

/// One window's growth over its stored size and the placements that share it out. The window keeps one and
/// sets it at each layout pass; a pass nested in another (a resize of the window during its layout) sets the
/// same object, so the outer pass and every later reader go on with what that pass set.
class Growth
{
public:
    /// How far the window's width and height now exceed the stored ones, in twips.
    float DeltaWidth = 0;
    float DeltaHeight = 0;

    /// Placement from the record plus share × the window's growth; share 0 means the full growth.
    void ShiftLeft(QObject *object, float share) const;
    void ShiftTop(QObject *object, float share) const;
    void GrowWidth(QObject *object, float share) const;
    void GrowHeight(QObject *object, float share) const;
    void GrowSize(QObject *object, float widthShare, float heightShare) const;
    void ShiftPosition(QObject *object, float leftShare, float topShare) const;
};

/// One column of a header view as an object with a Left and a Width in twips.
class ColumnHeader : public QObject
{
    Q_OBJECT
    Q_PROPERTY(float Left READ left)
    Q_PROPERTY(float Width READ width WRITE setWidth)
public:
    ColumnHeader(QHeaderView *header, int column);
    float left() const;
    float width() const;
    void setWidth(float twips);

private:
    QHeaderView *m_header;
    int m_column;
};

} // namespace ModresizeApp

#pragma once

#include <QObject>

class QHeaderView;
class QWidget;

/// Proportional layout: each object keeps its design geometry (twips, "Left:Top:Width:Height") in its "Tag"
/// property, and every placement computes from that record plus a share of the window's growth, so that
/// resizing never drifts. Objects are reached by the property names "Left", "Top", "Width" and "Height":
/// widgets through their geometry, other objects (column headers) through their own properties.
namespace ModresizeApp {

/// How far the window's width and height now exceed the stored ones, in twips; set by each apply pass.
extern float DeltaWidth;
extern float DeltaHeight;

/// Twips per pixel on the widget's screen (15 at 96 dpi).
double TwipsPerPixel(const QWidget *widget);

/// A geometry property in twips; 0 when the object has no such property.
float ReadProperty(QObject *object, const char *name);
/// Sets a geometry property given in twips, rounded to whole pixels.
void WriteProperty(QObject *object, const char *name, float twips);

/// Records the object's geometry in its Tag; mode 100 skips Top and Height (recorded as 0).
void StoreGeometry(QObject *object, int mode);
/// Makes twips the object's recorded width: a width the user chose becomes the base of later placements.
void RecordWidth(QObject *object, float twips);
float StoredLeft(QObject *object);
float StoredTop(QObject *object);
float StoredWidth(QObject *object);
float StoredHeight(QObject *object);

/// Placement from the record plus share × the window's growth; share 0 means the full growth.
void ShiftLeft(QObject *object, float share);
void ShiftTop(QObject *object, float share);
void GrowWidth(QObject *object, float share);
void GrowHeight(QObject *object, float share);
void GrowSize(QObject *object, float widthShare, float heightShare);
void ShiftPosition(QObject *object, float leftShare, float topShare);

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

#include "modresizeapp.h"

#include "inifile.h"
#include "qzsammlung.h"
#include "qzsammlung2divfu.h"

#include <QFontMetricsF>
#include <QHeaderView>
#include <QWidget>

#include <cstring>
#include <utility>

namespace ModresizeApp {

namespace {

// The geometry properties: Left and Width run across, Top and Height down.
enum class Field { Left, Top, Width, Height, None };

Field fieldNamed(const char *name)
{
    for (auto [field, text] : {std::pair{Field::Left, "Left"}, {Field::Top, "Top"}, {Field::Width, "Width"},
                               {Field::Height, "Height"}}) {
        if (std::strcmp(name, text) == 0)
            return field;
    }
    return Field::None;
}

double perPixel(const TwipScale &scale, Field field)
{
    return field == Field::Left || field == Field::Width ? scale.x : scale.y;
}

int pixelsOf(const QRect &geometry, Field field)
{
    switch (field) {
    case Field::Left: return geometry.x();
    case Field::Top: return geometry.y();
    case Field::Width: return geometry.width();
    default: return geometry.height();
    }
}

// The twips last written to a property live beside the widget, under "_twips" and the property's name.
QByteArray keptName(const char *name)
{
    return QByteArrayLiteral("_twips") + name;
}

} // namespace

TwipScale TwipsPerPixel(const QWidget *widget)
{
    const QWidget *window = widget->window();
    const double letterWidth = QZSAMMLUNG::LetterWidth(window);
    const double lineHeight = QFontMetricsF(window->font(), window).height();
    if (letterWidth <= 0 || lineHeight <= 0)
        return {15, 15}; // no usable font: the design font's scale
    return {ReferenceCellWidth / letterWidth, ReferenceCellHeight / lineHeight};
}

float ReadProperty(QObject *object, const char *name)
{
    if (const auto *widget = qobject_cast<const QWidget *>(object)) {
        const Field field = fieldNamed(name);
        if (field == Field::None)
            return 0;
        const double scale = perPixel(TwipsPerPixel(widget), field);
        const int pixels = pixelsOf(widget->geometry(), field);
        const QVariant kept = widget->property(keptName(name));
        if (kept.isValid() && qRound(kept.toDouble() / scale) == pixels)
            return kept.toFloat();
        return float(pixels * scale);
    }
    const QVariant value = object->property(name);
    return value.isValid() ? value.toFloat() : 0;
}

void WriteProperty(QObject *object, const char *name, float twips)
{
    auto *widget = qobject_cast<QWidget *>(object);
    if (!widget) {
        object->setProperty(name, twips);
        return;
    }
    const Field field = fieldNamed(name);
    if (field == Field::None)
        return;
    const int px = qRound(twips / perPixel(TwipsPerPixel(widget), field));
    switch (field) {
    case Field::Left: widget->move(px, widget->y()); break;
    case Field::Top: widget->move(widget->x(), px); break;
    case Field::Width: widget->resize(px, widget->height()); break;
    default: widget->resize(widget->width(), px); break;
    }
    widget->setProperty(keptName(name), twips);
}

void PlaceInTwips(QWidget *widget, float left, float top, float width, float height)
{
    const TwipScale scale = TwipsPerPixel(widget);
    widget->setGeometry(qRound(left / scale.x), qRound(top / scale.y), qRound(width / scale.x),
                        qRound(height / scale.y));
    for (auto [name, twips] : {std::pair{"Left", left}, {"Top", top}, {"Width", width}, {"Height", height}})
        widget->setProperty(keptName(name), twips);
}

void PlaceAgain(QWidget *widget)
{
    for (const char *name : {"Left", "Top", "Width", "Height"}) {
        const QVariant kept = widget->property(keptName(name));
        if (kept.isValid())
            WriteProperty(widget, name, kept.toFloat());
    }
}

namespace {

QString numberText(float value)
{
    return QString::number(value, 'g', 9);
}

float storedField(QObject *object, int field)
{
    const QString text = QZSAMMLUNG2DIVFU::NthField(object->property("Tag").toString(), field, QStringLiteral(":"));
    return float(common::LeadingNumber(text));
}

float shareOf(float change, float share)
{
    return share == 0 ? change : share * change;
}

} // namespace

void StoreGeometry(QObject *object, int mode)
{
    const bool withoutHeight = mode == 100;
    const QStringList fields{numberText(ReadProperty(object, "Left")),
                             numberText(withoutHeight ? 0 : ReadProperty(object, "Top")),
                             numberText(ReadProperty(object, "Width")),
                             numberText(withoutHeight ? 0 : ReadProperty(object, "Height"))};
    object->setProperty("Tag", fields.join(u':'));
}

void RecordWidth(QObject *object, float twips)
{
    QStringList fields = object->property("Tag").toString().split(u':');
    if (fields.size() == 4) {
        fields[2] = numberText(twips);
        object->setProperty("Tag", fields.join(u':'));
    }
}

float StoredLeft(QObject *object) { return storedField(object, 1); }
float StoredTop(QObject *object) { return storedField(object, 2); }
float StoredWidth(QObject *object) { return storedField(object, 3); }
float StoredHeight(QObject *object) { return storedField(object, 4); }

void Growth::ShiftLeft(QObject *object, float share) const
{
    WriteProperty(object, "Left", StoredLeft(object) + shareOf(DeltaWidth, share));
}

void Growth::ShiftTop(QObject *object, float share) const
{
    WriteProperty(object, "Top", StoredTop(object) + shareOf(DeltaHeight, share));
}

void Growth::GrowWidth(QObject *object, float share) const
{
    WriteProperty(object, "Width", StoredWidth(object) + shareOf(DeltaWidth, share));
}

void Growth::GrowHeight(QObject *object, float share) const
{
    WriteProperty(object, "Height", StoredHeight(object) + shareOf(DeltaHeight, share));
}

void Growth::GrowSize(QObject *object, float widthShare, float heightShare) const
{
    GrowWidth(object, widthShare);
    GrowHeight(object, heightShare);
}

void Growth::ShiftPosition(QObject *object, float leftShare, float topShare) const
{
    ShiftLeft(object, leftShare);
    ShiftTop(object, topShare);
}

ColumnHeader::ColumnHeader(QHeaderView *header, int column) : QObject(header), m_header(header), m_column(column) {}

float ColumnHeader::left() const
{
    return float(m_header->sectionPosition(m_column) * TwipsPerPixel(m_header).x);
}

float ColumnHeader::width() const
{
    return float(m_header->sectionSize(m_column) * TwipsPerPixel(m_header).x);
}

void ColumnHeader::setWidth(float twips)
{
    m_header->resizeSection(m_column, qRound(twips / TwipsPerPixel(m_header).x));
}

} // namespace ModresizeApp

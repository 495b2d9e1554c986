#include "modresizeapp.h"

#include "qzsammlung2divfu.h"

#include <QHeaderView>
#include <QWidget>

#include <cstring>

namespace ModresizeApp {

float DeltaWidth = 0;
float DeltaHeight = 0;

double TwipsPerPixel(const QWidget *widget)
{
    return 1440.0 / widget->logicalDpiX();
}

float ReadProperty(QObject *object, const char *name)
{
    if (const auto *widget = qobject_cast<const QWidget *>(object)) {
        const QRect g = widget->geometry();
        const double tpp = TwipsPerPixel(widget);
        if (std::strcmp(name, "Left") == 0)
            return float(g.x() * tpp);
        if (std::strcmp(name, "Top") == 0)
            return float(g.y() * tpp);
        if (std::strcmp(name, "Width") == 0)
            return float(g.width() * tpp);
        if (std::strcmp(name, "Height") == 0)
            return float(g.height() * tpp);
        return 0;
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
    const int px = qRound(twips / TwipsPerPixel(widget));
    if (std::strcmp(name, "Left") == 0)
        widget->move(px, widget->y());
    else if (std::strcmp(name, "Top") == 0)
        widget->move(widget->x(), px);
    else if (std::strcmp(name, "Width") == 0)
        widget->resize(px, widget->height());
    else if (std::strcmp(name, "Height") == 0)
        widget->resize(widget->width(), px);
}

namespace {

QString numberText(float value)
{
    return QString::number(value, 'g', 9);
}

// The number at the start of a text, "." as decimal point; 0 for a text without one.
float leadingNumber(const QString &text)
{
    qsizetype end = 0;
    while (end < text.size() && (text[end].isDigit() || text[end] == u'.' || (end == 0 && text[end] == u'-')))
        ++end;
    return text.left(end).toFloat();
}

float storedField(QObject *object, int field)
{
    return leadingNumber(QZSAMMLUNG2DIVFU::NthField(object->property("Tag").toString(), field, QStringLiteral(":")));
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

void ShiftLeft(QObject *object, float share)
{
    WriteProperty(object, "Left", StoredLeft(object) + shareOf(DeltaWidth, share));
}

void ShiftTop(QObject *object, float share)
{
    WriteProperty(object, "Top", StoredTop(object) + shareOf(DeltaHeight, share));
}

void GrowWidth(QObject *object, float share)
{
    WriteProperty(object, "Width", StoredWidth(object) + shareOf(DeltaWidth, share));
}

void GrowHeight(QObject *object, float share)
{
    WriteProperty(object, "Height", StoredHeight(object) + shareOf(DeltaHeight, share));
}

void GrowSize(QObject *object, float widthShare, float heightShare)
{
    GrowWidth(object, widthShare);
    GrowHeight(object, heightShare);
}

void ShiftPosition(QObject *object, float leftShare, float topShare)
{
    ShiftLeft(object, leftShare);
    ShiftTop(object, topShare);
}

ColumnHeader::ColumnHeader(QHeaderView *header, int column) : QObject(header), m_header(header), m_column(column) {}

float ColumnHeader::left() const
{
    return float(m_header->sectionPosition(m_column) * TwipsPerPixel(m_header));
}

float ColumnHeader::width() const
{
    return float(m_header->sectionSize(m_column) * TwipsPerPixel(m_header));
}

void ColumnHeader::setWidth(float twips)
{
    m_header->resizeSection(m_column, qRound(twips / TwipsPerPixel(m_header)));
}

} // namespace ModresizeApp

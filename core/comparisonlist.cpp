#include "comparisonlist.h"

#include "names.h"
#include "rowdetails.h"
#include "stamp.h"

#include <algorithm>
#include <utility>

namespace common {

ComparisonList::ComparisonList(QObject *parent) : QAbstractTableModel(parent)
{
    m_headers[LeftNameColumn] = QStringLiteral("Erster Ordner");
    m_headers[MarkerColumn] = QStringLiteral("<-->");
    m_headers[RightNameColumn] = QStringLiteral("Zweiter Ordner");
    m_headers[LeftStampColumn] = QStringLiteral("unsichtbar für datum LINKS");
    m_headers[RightStampColumn] = QStringLiteral("unsichtbar für datum Rechts");
}

void ComparisonList::appendRows(std::vector<Row> &rows)
{
    if (rows.empty())
        return;
    beginInsertRows({}, count(), count() + int(rows.size()) - 1);
    if (m_rows.empty()) {
        m_rows.swap(rows);
    } else {
        m_rows.reserve(m_rows.size() + rows.size()); // exactly: a grown vector would hold twice the rows' room
        m_rows.insert(m_rows.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    }
    endInsertRows();
    rows.clear();
}

void ComparisonList::removeRowRange(int position, int count)
{
    if (count <= 0)
        return;
    beginRemoveRows({}, position, position + count - 1);
    m_rows.erase(m_rows.begin() + position, m_rows.begin() + position + count);
    endRemoveRows();
}

void ComparisonList::ClearList()
{
    beginResetModel();
    m_rows.clear();
    m_rows.shrink_to_fit();
    endResetModel();
}

void ComparisonList::setRightSide(int position, NativePath name, const SeenFile &seen)
{
    Row &r = m_rows[size_t(position)];
    r.rightName = std::move(name);
    r.right = seen;
}

quint16 ComparisonList::deviceIndex(quint64 device)
{
    for (size_t i = 0; i < m_devices.size(); ++i) {
        if (m_devices[i] == device)
            return quint16(i);
    }
    // Beyond the table's reach a file gets no device, and a step on it is refused as changed.
    if (m_devices.size() == 0xFFFF)
        return 0xFFFF;
    m_devices.push_back(device);
    return quint16(m_devices.size() - 1);
}

SeenFile ComparisonList::seen(const EntryInfo &info)
{
    SeenFile seen;
    seen.inode = info.inode;
    seen.size = info.size;
    seen.modified = info.modified;
    seen.modifiedNs = info.modifiedNs;
    seen.device = deviceIndex(info.device);
    seen.link = info.link;
    seen.changeTag = info.changeTag;
    return seen;
}

EntryInfo ComparisonList::identity(const SeenFile &seen) const
{
    EntryInfo info;
    info.kind = EntryKind::File;
    info.inode = seen.inode;
    info.size = seen.size;
    info.modified = seen.modified;
    info.modifiedNs = seen.modifiedNs;
    info.device = seen.device < m_devices.size() ? m_devices[seen.device] : ~quint64(0);
    info.link = seen.link;
    info.changeTag = seen.changeTag;
    return info;
}

void ComparisonList::forgetRightSide()
{
    beginResetModel();
    m_rows.erase(std::remove_if(m_rows.begin(), m_rows.end(), [](const Row &r) { return r.leftName.isEmpty(); }),
                 m_rows.end());
    for (Row &r : m_rows) {
        r.rightName.clear();
        r.right = {};
        r.marker = Marker::None;
    }
    endResetModel();
}

std::vector<Row> ComparisonList::takeRowsIf(const std::function<bool(const Row &)> &leftOut)
{
    beginResetModel();
    const auto kept = std::stable_partition(m_rows.begin(), m_rows.end(), [&](const Row &r) { return !leftOut(r); });
    std::vector<Row> taken;
    taken.assign(std::make_move_iterator(kept), std::make_move_iterator(m_rows.end()));
    m_rows.erase(kept, m_rows.end());
    endResetModel();
    return taken;
}

void ComparisonList::announceChanges(int first, int last)
{
    last = last < 0 ? count() - 1 : qMin(last, count() - 1);
    if (first <= last)
        Q_EMIT dataChanged(index(first, 0), index(last, ColumnCount - 1));
}

void ComparisonList::setHeaderText(int column, const QString &text)
{
    m_headers[column] = text;
    Q_EMIT headerDataChanged(Qt::Horizontal, column, column);
}

QString ComparisonList::headerText(int column) const
{
    return m_headers[column];
}

void ComparisonList::setSorted(bool sorted)
{
    m_sorted = sorted;
    if (sorted)
        sortRows();
}

void ComparisonList::setSortKey(int column)
{
    m_sortKey = column;
    if (m_sorted)
        sortRows();
}

void ComparisonList::setSortOrder(Qt::SortOrder order)
{
    m_sortOrder = order;
    if (m_sorted)
        sortRows();
}

void ComparisonList::setFrozen(bool frozen)
{
    m_frozen = frozen;
    if (!frozen && m_sortPending) {
        m_sortPending = false;
        if (m_sorted)
            sortRows();
    }
}

void ComparisonList::sort(int column, Qt::SortOrder order)
{
    m_sortKey = column;
    m_sortOrder = order;
    setSorted(true);
}

int ComparisonList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

int ComparisonList::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ComparisonList::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= count())
        return {};
    if (role == Qt::TextAlignmentRole)
        return index.column() == MarkerColumn ? int(Qt::AlignCenter) : int(Qt::AlignLeft | Qt::AlignVCenter);
    if (role == Qt::ToolTipRole) // made only when asked for: nothing is kept per row for it
        return RowDetails(*this, index.row());
    if (role != Qt::DisplayRole)
        return {};
    const Row &r = m_rows[size_t(index.row())];
    switch (index.column()) {
    case LeftNameColumn: return DisplayName(r.leftName);
    case MarkerColumn: return MarkerText(r.marker);
    case RightNameColumn: return DisplayName(r.rightName);
    case LeftStampColumn: return r.leftName.isEmpty() ? QString() : StampText(FileStamp(r.left.modified));
    case RightStampColumn: return r.rightName.isEmpty() ? QString() : StampText(FileStamp(r.right.modified));
    default: return QString();
    }
}

QVariant ComparisonList::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole || (role == Qt::ToolTipRole && section != MarkerColumn))
        return m_headers[section]; // a folder's whole path, where the header has room for a part only
    if (role == Qt::TextAlignmentRole)
        return section == MarkerColumn ? int(Qt::AlignCenter) : int(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

} // namespace common

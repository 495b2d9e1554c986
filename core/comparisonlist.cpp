#include "comparisonlist.h"

#include "names.h"

#include <algorithm>
#include <numeric>

namespace common {

QString MarkerText(Marker marker)
{
    switch (marker) {
    case Marker::None: return QString();
    case Marker::Equal: return QStringLiteral("=");
    case Marker::Shorter: return QStringLiteral("<");
    case Marker::Longer: return QStringLiteral(">");
    case Marker::Different: return QStringLiteral("<>");
    case Marker::Orphan: return QStringLiteral("?");
    case Marker::OrphanLeft: return QStringLiteral("? -->");
    case Marker::OrphanRight: return QStringLiteral("? <--");
    case Marker::CopyRight: return QStringLiteral("-->");
    case Marker::CopyLeft: return QStringLiteral("<--");
    case Marker::DeleteRight: return QStringLiteral("X->");
    case Marker::DeleteLeft: return QStringLiteral("<-X");
    case Marker::DeleteBoth: return QStringLiteral("XX");
    case Marker::Skip: return QStringLiteral("][");
    case Marker::Unreadable: return QStringLiteral("!");
    }
    return QString();
}

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
    m_rows.insert(m_rows.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    endInsertRows();
    rows.clear();
}

void ComparisonList::removeRow(int position)
{
    beginRemoveRows({}, position, position);
    m_rows.erase(m_rows.begin() + position);
    endRemoveRows();
}

void ComparisonList::ClearList()
{
    beginResetModel();
    m_rows.clear();
    m_rows.shrink_to_fit();
    endResetModel();
}

void ComparisonList::setRightSide(int position, const NativePath &name, Stamp stamp)
{
    Row &r = m_rows[size_t(position)];
    r.rightName = name;
    r.rightStamp = stamp;
}

void ComparisonList::clearRightNameAndMarker(int position)
{
    Row &r = m_rows[size_t(position)];
    r.rightName.clear();
    r.marker = Marker::None;
}

void ComparisonList::announceChanges()
{
    if (!m_rows.empty())
        Q_EMIT dataChanged(index(0, 0), index(count() - 1, ColumnCount - 1));
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

namespace {

// One precomputed key per row, so that the comparisons of the sort touch no text conversion.
template<typename Key>
std::vector<int> stableOrder(const std::vector<Key> &keys, Qt::SortOrder order)
{
    std::vector<int> positions(keys.size());
    std::iota(positions.begin(), positions.end(), 0);
    if (order == Qt::AscendingOrder)
        std::stable_sort(positions.begin(), positions.end(), [&](int a, int b) { return keys[a] < keys[b]; });
    else
        std::stable_sort(positions.begin(), positions.end(), [&](int a, int b) { return keys[b] < keys[a]; });
    return positions;
}

} // namespace

void ComparisonList::sortRows()
{
    if (m_frozen) {
        m_sortPending = true;
        return;
    }
    std::vector<int> order;
    switch (m_sortKey) {
    case LeftNameColumn:
    case RightNameColumn: {
        std::vector<QByteArray> keys;
        keys.reserve(m_rows.size());
        for (const Row &r : m_rows)
            keys.push_back(FoldedName(m_sortKey == LeftNameColumn ? r.leftName : r.rightName));
        order = stableOrder(keys, m_sortOrder);
        break;
    }
    case MarkerColumn: {
        std::vector<QString> keys;
        keys.reserve(m_rows.size());
        for (const Row &r : m_rows)
            keys.push_back(MarkerText(r.marker));
        order = stableOrder(keys, m_sortOrder);
        break;
    }
    case LeftStampColumn:
    case RightStampColumn: {
        std::vector<Stamp> keys;
        keys.reserve(m_rows.size());
        for (const Row &r : m_rows)
            keys.push_back(m_sortKey == LeftStampColumn ? r.leftStamp : r.rightStamp);
        order = stableOrder(keys, m_sortOrder);
        break;
    }
    default:
        return; // the spare column is empty in every row: a stable sort keeps the order
    }

    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<Row> sorted;
    sorted.reserve(m_rows.size());
    std::vector<int> newPosition(m_rows.size());
    for (size_t i = 0; i < order.size(); ++i) {
        sorted.push_back(std::move(m_rows[size_t(order[i])]));
        newPosition[size_t(order[i])] = int(i);
    }
    m_rows = std::move(sorted);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &i : before)
        after.append(index(newPosition[size_t(i.row())], i.column()));
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
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
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const Row &r = m_rows[size_t(index.row())];
    switch (index.column()) {
    case LeftNameColumn: return DisplayName(r.leftName);
    case MarkerColumn: return MarkerText(r.marker);
    case RightNameColumn: return DisplayName(r.rightName);
    case LeftStampColumn: return StampText(r.leftStamp);
    case RightStampColumn: return StampText(r.rightStamp);
    default: return QString();
    }
}

QVariant ComparisonList::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return m_headers[section];
    if (role == Qt::TextAlignmentRole)
        return section == MarkerColumn ? int(Qt::AlignCenter) : int(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

LeftNameIndex::LeftNameIndex(const ComparisonList &list)
{
    m_firstRow.reserve(list.count());
    // From the last row to the first, so that the first row of a name is the one that stays.
    for (int i = list.count() - 1; i >= 0; --i) {
        const NativePath &name = list.row(i).leftName;
        if (!name.isEmpty())
            m_firstRow.insert(FoldedName(name), i);
    }
}

int LeftNameIndex::find(const NativePath &name) const
{
    return m_firstRow.value(FoldedName(name), -1);
}

} // namespace common

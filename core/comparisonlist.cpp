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

void ComparisonList::setRightSide(int position, const NativePath &name, Stamp stamp, qint64 size)
{
    Row &r = m_rows[size_t(position)];
    r.rightName = name;
    r.rightStamp = stamp;
    r.rightSize = size;
}

void ComparisonList::clearRightNameAndMarker(int position)
{
    Row &r = m_rows[size_t(position)];
    r.rightName.clear();
    r.marker = Marker::None;
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

namespace {

// A stable merge sort of positions by precomputed keys, in slices that take a few milliseconds each, with
// pause called between them: a million rows sort without the window freezing.
template<typename Key, typename Less>
std::vector<int> stableOrder(const std::vector<Key> &keys, Qt::SortOrder order, Less less,
                             const std::function<void()> &pause)
{
    const auto before = [&](int a, int b) { return order == Qt::AscendingOrder ? less(keys[a], keys[b]) : less(keys[b], keys[a]); };
    const size_t n = keys.size();
    constexpr size_t Slice = 16384;
    std::vector<int> positions(n), merged(n);
    std::iota(positions.begin(), positions.end(), 0);
    // Between slices only: a list of one slice sorts in one go.
    auto between = [&] {
        if (pause)
            pause();
    };
    for (size_t start = 0; start < n; start += Slice) {
        if (start > 0)
            between();
        const auto first = positions.begin() + start, last = positions.begin() + std::min(start + Slice, n);
        if (!std::is_sorted(first, last, before)) // a list sorted before is mostly sorted still
            std::stable_sort(first, last, before);
    }
    for (size_t width = Slice; width < n; width *= 2) {
        for (size_t low = 0; low < n; low += 2 * width) {
            between();
            const auto from = positions.begin() + low;
            const size_t middle = std::min(low + width, n), high = std::min(low + 2 * width, n);
            if (middle < high && before(positions[middle], positions[middle - 1]))
                std::merge(from, positions.begin() + middle, positions.begin() + middle, positions.begin() + high,
                           merged.begin() + low, before); // takes the first run's element on a tie: stable
            else
                std::copy(from, positions.begin() + high, merged.begin() + low); // already in order
        }
        positions.swap(merged);
    }
    return positions;
}

} // namespace

void ComparisonList::sortNow(const std::function<void()> &pause)
{
    m_sorted = true;
    const bool frozen = m_frozen;
    m_frozen = false;
    sortRows(pause);
    m_frozen = frozen;
}

void ComparisonList::sortRows(const std::function<void()> &pause)
{
    if (m_frozen) {
        m_sortPending = true;
        return;
    }
    // Work on a million rows is cut into pieces with a pause between them.
    const auto now_and_then = [&](size_t i) {
        if (pause && i % RowsBetweenPauses == RowsBetweenPauses - 1)
            pause();
    };
    std::vector<int> order;
    switch (m_sortKey) {
    case LeftNameColumn:
    case RightNameColumn: {
        std::vector<QByteArray> keys;
        keys.reserve(m_rows.size());
        for (const Row &r : m_rows) {
            keys.push_back(FoldedName(m_sortKey == LeftNameColumn ? r.leftName : r.rightName));
            now_and_then(keys.size());
        }
        order = stableOrder(
            keys, m_sortOrder, [](const QByteArray &a, const QByteArray &b) { return CompareFolded(a, b) < 0; }, pause);
        break;
    }
    case MarkerColumn: {
        // Markers order by their text; the rank of each text is found once.
        std::vector<int> rankOf(size_t(Marker::Unreadable) + 1);
        std::iota(rankOf.begin(), rankOf.end(), 0);
        std::sort(rankOf.begin(), rankOf.end(), [](int a, int b) { return MarkerText(Marker(a)) < MarkerText(Marker(b)); });
        std::vector<quint8> rank(rankOf.size());
        for (size_t i = 0; i < rankOf.size(); ++i)
            rank[size_t(rankOf[i])] = quint8(i);
        std::vector<quint8> keys;
        keys.reserve(m_rows.size());
        for (const Row &r : m_rows)
            keys.push_back(rank[size_t(r.marker)]);
        order = stableOrder(keys, m_sortOrder, std::less<quint8>(), pause);
        break;
    }
    case LeftStampColumn:
    case RightStampColumn: {
        std::vector<Stamp> keys;
        keys.reserve(m_rows.size());
        for (const Row &r : m_rows)
            keys.push_back(m_sortKey == LeftStampColumn ? r.leftStamp : r.rightStamp);
        order = stableOrder(keys, m_sortOrder, std::less<Stamp>(), pause);
        break;
    }
    default:
        return; // the spare column is empty in every row: a stable sort keeps the order
    }

    // The rows in their new order are copied (sharing their names) while the view still shows the old
    // order; then the two trade places in one step.
    std::vector<Row> sorted;
    sorted.reserve(m_rows.size());
    std::vector<int> newPosition(m_rows.size());
    for (size_t i = 0; i < order.size(); ++i) {
        sorted.push_back(m_rows[size_t(order[i])]);
        newPosition[size_t(order[i])] = int(i);
        now_and_then(i);
    }
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    m_rows.swap(sorted);
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

LeftNameIndex::LeftNameIndex(const ComparisonList &list, const std::function<void()> &pause) : m_list(list)
{
    size_t size = 16;
    while (size < size_t(list.count()) * 2)
        size *= 2;
    m_slots.assign(size, 0);
    m_mask = size - 1;
    for (int i = 0; i < list.count(); ++i) {
        const NativePath &name = list.row(i).leftName;
        if (!name.isEmpty()) {
            int &slot = m_slots[slotOf(FoldedName(name))];
            if (slot == 0)
                slot = i + 1; // the first row of a name stays
        }
        if (pause && i % RowsBetweenPauses == RowsBetweenPauses - 1)
            pause();
    }
}

size_t LeftNameIndex::slotOf(const QByteArray &key) const
{
    for (size_t at = HashFolded(key) & m_mask;; at = (at + 1) & m_mask) {
        const int row = m_slots[at] - 1;
        if (row < 0 || CompareFolded(FoldedName(m_list.row(row).leftName), key) == 0)
            return at;
    }
}

int LeftNameIndex::find(const NativePath &name) const
{
    return m_slots[slotOf(FoldedName(name))] - 1;
}

} // namespace common

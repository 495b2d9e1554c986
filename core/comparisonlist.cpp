#include "comparisonlist.h"

#include "names.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <unordered_map>
#include <utility>

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
    return info;
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

// A stable merge sort of positions by compare (negative, 0, positive) that pauses every 25 ms of work, in
// the middle of a merge too: a million rows sort without the window freezing, on a slow machine as well.
// A descending order reverses the comparison as a whole. An empty result means "given up".
template<typename Compare>
std::vector<int> stableOrder(size_t n, Qt::SortOrder order, Compare compare, const std::function<bool()> &pause)
{
    const auto before = [&](int a, int b) { return order == Qt::AscendingOrder ? compare(a, b) < 0 : compare(b, a) < 0; };
    constexpr size_t Slice = 4096;
    Pacer pace(pause);
    std::vector<int> positions(n), merged(n);
    std::iota(positions.begin(), positions.end(), 0);
    for (size_t start = 0; start < n; start += Slice) {
        const auto first = positions.begin() + start, last = positions.begin() + std::min(start + Slice, n);
        if (!std::is_sorted(first, last, before)) // a list sorted before is mostly sorted still
            std::stable_sort(first, last, before);
        if (last != positions.end() && !pace(Slice))
            return {};
    }
    for (size_t width = Slice; width < n; width *= 2) {
        for (size_t low = 0; low < n; low += 2 * width) {
            const size_t middle = std::min(low + width, n), high = std::min(low + 2 * width, n);
            const auto from = positions.begin() + low;
            if (middle == high || !before(positions[middle], positions[middle - 1])) {
                std::copy(from, positions.begin() + high, merged.begin() + low); // already in order
                continue;
            }
            // The first run's element goes first on a tie: stable.
            size_t a = low, b = middle, out = low;
            while (a < middle && b < high) {
                merged[out++] = before(positions[b], positions[a]) ? positions[b++] : positions[a++];
                if (!pace())
                    return {};
            }
            std::copy(positions.begin() + a, positions.begin() + middle, merged.begin() + out);
            std::copy(positions.begin() + b, positions.begin() + high, merged.begin() + out + (middle - a));
        }
        positions.swap(merged);
    }
    return positions;
}

} // namespace

void ComparisonList::sortNow(const std::function<bool()> &pause)
{
    m_sorted = true;
    m_sortPending = false; // a request while it pauses is taken up when the list thaws
    const bool frozen = m_frozen;
    m_frozen = false;
    sortRows(pause);
    m_frozen = frozen;
}

void ComparisonList::sortRows(const std::function<bool()> &pause)
{
    if (m_frozen) {
        m_sortPending = true;
        return;
    }
    // Work on a million rows pauses every 25 ms; false: given up.
    Pacer now_and_then(pause);
    // Names in German order (DIN 5007, variant 1). Every sort breaks its ties the same way, by the left
    // name, then the right name, then their bytes: the same list always sorts alike, and the descending
    // order is the ascending one reversed.
    const size_t n = m_rows.size();
    const bool rightFirst = m_sortKey == RightNameColumn;
    std::vector<QByteArray> keys; // of the names compared first; the other side's only where these tie
    keys.reserve(n);
    for (const Row &r : m_rows) {
        keys.push_back(CollationKey(rightFirst ? r.rightName : r.leftName));
        if (!now_and_then())
            return;
    }
    const auto byNames = [&](int a, int b) {
        if (const int c = CompareFolded(keys[size_t(a)], keys[size_t(b)]))
            return c;
        const Row &x = m_rows[size_t(a)], &y = m_rows[size_t(b)];
        const NativePath &xOther = rightFirst ? x.leftName : x.rightName, &yOther = rightFirst ? y.leftName : y.rightName;
        if (xOther != yOther) {
            if (const int c = CompareFolded(CollationKey(xOther), CollationKey(yOther)))
                return c;
        }
        if (const int c = x.leftName.compare(y.leftName))
            return c;
        return x.rightName.compare(y.rightName);
    };
    std::vector<int> order;
    switch (m_sortKey) {
    case MarkerColumn: {
        // Markers order by their text; the rank of each text is found once.
        std::vector<int> rankOf(size_t(Marker::Unreadable) + 1);
        std::iota(rankOf.begin(), rankOf.end(), 0);
        std::sort(rankOf.begin(), rankOf.end(), [](int a, int b) { return MarkerText(Marker(a)) < MarkerText(Marker(b)); });
        std::vector<int> rank(rankOf.size());
        for (size_t i = 0; i < rankOf.size(); ++i)
            rank[size_t(rankOf[i])] = int(i);
        order = stableOrder(
            n, m_sortOrder,
            [&](int a, int b) {
                const int c = rank[size_t(m_rows[size_t(a)].marker)] - rank[size_t(m_rows[size_t(b)].marker)];
                return c ? c : byNames(a, b);
            },
            pause);
        break;
    }
    case LeftStampColumn:
    case RightStampColumn: {
        // A stamp without its name means nothing and sorts first, as an empty text would.
        const bool leftSide = m_sortKey == LeftStampColumn;
        const auto stamp = [&](int i) {
            const Row &r = m_rows[size_t(i)];
            return (leftSide ? r.leftName : r.rightName).isEmpty() ? std::numeric_limits<qint64>::min()
                                                                   : (leftSide ? r.left : r.right).modified;
        };
        order = stableOrder(
            n, m_sortOrder,
            [&](int a, int b) {
                const qint64 x = stamp(a), y = stamp(b);
                return x < y ? -1 : x > y ? 1 : byNames(a, b);
            },
            pause);
        break;
    }
    default: // the names, and the spare column, which is empty in every row
        order = stableOrder(n, m_sortOrder, byNames, pause);
        break;
    }
    if (order.size() != m_rows.size())
        return; // given up
    std::vector<int> newPosition(m_rows.size());
    for (size_t i = 0; i < order.size(); ++i)
        newPosition[size_t(order[i])] = int(i);
    // Each row moves to its place, cycle by cycle, without a second list. A pause may come in the middle of
    // a cycle: the view then shows the rows half moved (one of them empty) for a moment, while nothing can
    // act on them (the core is busy). Once moving, the sort is no longer given up.
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    bool pausing = true;
    for (size_t start = 0; start < order.size(); ++start) {
        if (order[start] < 0 || size_t(order[start]) == start)
            continue;
        Row held = std::move(m_rows[start]);
        for (size_t at = start;;) {
            const size_t from = size_t(std::exchange(order[at], -1));
            if (from == start) {
                m_rows[at] = std::move(held);
                break;
            }
            m_rows[at] = std::move(m_rows[from]);
            at = from;
            if (pausing)
                pausing = now_and_then();
        }
    }
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
    case LeftStampColumn: return r.leftName.isEmpty() ? QString() : StampText(FileStamp(r.left.modified));
    case RightStampColumn: return r.rightName.isEmpty() ? QString() : StampText(FileStamp(r.right.modified));
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

RightPairing::RightPairing(const ComparisonList &list, size_t count,
                           const std::function<const NativePath &(size_t)> &nameOf, const std::function<bool()> &pause)
{
    // The left names by folded name: open addressing over row positions, each slot the first row of a
    // folded name, with the upper half of its hash, so that a probe seldom has to look at a row; next is
    // the chain of its twins in list order.
    struct Slot
    {
        int first = -1;
        quint32 hash = 0;
    };
    Pacer pace(pause);
    const auto goOn = [&](unsigned pieces = 1) { return m_complete = pace(pieces); };
    // A table for a million rows is thousands of pages to fault in: it is filled in pieces, the clock read
    // after each.
    const auto fill = [&](auto &table, size_t n, auto value) {
        table.reserve(n);
        while (table.size() < n) {
            table.resize(std::min(n, table.size() + 65536), value);
            if (!goOn(Pacer::Now))
                return false;
        }
        return true;
    };
    const int rows = list.count();
    size_t size = 16;
    while (size < size_t(rows) * 2)
        size *= 2;
    const size_t mask = size - 1;
    std::vector<Slot> slots;
    std::vector<int> next;
    if (!fill(slots, size, Slot()) || !fill(next, size_t(rows), -1))
        return;
    // The slot of name's folded name (empty where no left name has it yet) and the hash to keep there.
    const auto slotOf = [&](const NativePath &name) {
        const QByteArray key = FoldedName(name);
        const quint64 hash = HashFolded(key);
        const auto upper = quint32(hash >> 32);
        for (size_t at = hash & mask;; at = (at + 1) & mask) {
            const Slot &slot = slots[at];
            if (slot.first < 0)
                return std::make_pair(at, upper);
            if (slot.hash == upper) {
                const NativePath &other = list.row(slot.first).leftName;
                if (other == name || CompareFolded(FoldedName(other), key) == 0)
                    return std::make_pair(at, upper);
            }
        }
    };
    for (int i = 0; i < rows; ++i) {
        if (const NativePath &name = list.row(i).leftName; !name.isEmpty()) {
            const auto [at, hash] = slotOf(name);
            int &head = slots[at].first;
            if (head < 0) {
                head = i;
                slots[at].hash = hash;
            } else {
                int last = head;
                while (next[size_t(last)] >= 0)
                    last = next[size_t(last)];
                next[size_t(last)] = i;
            }
        }
        if (!goOn())
            return;
    }

    // Exact names first; a file that has none waits with its slot (encoded below -1) for the second pass.
    std::vector<char> taken;
    if (!fill(m_rows, count, -1) || !fill(taken, size_t(rows), char(0)))
        return;
    std::unordered_map<size_t, int> waiting; // per slot: files of that folded name without an exact partner
    for (size_t i = 0; i < count; ++i) {
        const NativePath &name = nameOf(i);
        const size_t slot = slotOf(name).first;
        int row = slots[slot].first;
        while (row >= 0 && list.row(row).leftName != name)
            row = next[size_t(row)];
        if (row >= 0) {
            m_rows[i] = row;
            taken[size_t(row)] = 1;
        } else if (slots[slot].first >= 0) {
            m_rows[i] = -2 - int(slot);
            ++waiting[slot];
        }
        if (!goOn())
            return;
    }
    // Then without regard to case, where one file and one row of the folded name are left.
    for (size_t i = 0; i < count; ++i) {
        if (m_rows[i] >= -1)
            continue;
        const size_t slot = size_t(-2 - m_rows[i]);
        m_rows[i] = -1;
        if (waiting.at(slot) != 1)
            continue;
        int candidate = -1, candidates = 0;
        for (int row = slots[slot].first; row >= 0; row = next[size_t(row)]) {
            if (!taken[size_t(row)]) {
                candidate = row;
                ++candidates;
            }
        }
        if (candidates == 1)
            m_rows[i] = candidate;
    }
}

} // namespace common

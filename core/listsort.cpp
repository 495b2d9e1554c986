// The list's sort by a column: a stable merge sort of row positions that pauses every 25 ms, then the rows
// moved to their places.

#include "comparisonlist.h"

#include "names.h"
#include "pacer.h"

#include <QScopeGuard>

#include <algorithm>
#include <limits>
#include <numeric>
#include <utility>

namespace common {

namespace {

// A stable merge sort of positions by compare (negative, 0, positive) that pauses every 25 ms of work, in
// the middle of a merge too: a million rows sort without the window freezing, on a slow machine as well.
// A descending order reverses the comparison as a whole. An empty result means "given up". ahead(p) is
// called for a position compared soon, so that what compare reads of it is fetched meanwhile.
template<typename Compare, typename Ahead>
std::vector<int> stableOrder(size_t n, Qt::SortOrder order, Compare compare, Ahead ahead,
                             const std::function<bool()> &pause)
{
    const auto before = [&](int a, int b) { return order == Qt::AscendingOrder ? compare(a, b) < 0 : compare(b, a) < 0; };
    constexpr size_t Slice = 4096;
    Pacer pace(pause);
    std::vector<int> positions(n), merged(n);
    std::iota(positions.begin(), positions.end(), 0);
    for (size_t start = 0; start < n; start += Slice) {
        const auto first = positions.begin() + start, last = positions.begin() + std::min(start + Slice, n);
        bool sorted = true; // a list sorted before is mostly sorted still
        for (auto at = first; sorted && at + 1 < last; ++at) {
            if (size_t(last - at) > PrefetchDistance)
                ahead(at[PrefetchDistance]);
            sorted = !before(at[1], at[0]);
        }
        if (!sorted)
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
                if (!pace(unsigned(high - low)))
                    return {};
                continue;
            }
            // The first run's element goes first on a tie: stable.
            size_t a = low, b = middle, out = low;
            while (a < middle && b < high) {
                if (a + PrefetchDistance < middle)
                    ahead(positions[a + PrefetchDistance]);
                if (b + PrefetchDistance < high)
                    ahead(positions[b + PrefetchDistance]);
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
    // A sort asked for while another pauses (a header click meanwhile) waits for the list to thaw: sorting
    // the rows under a paused sort would leave it moving rows by a stale order.
    if (m_frozen || m_sortUnderWay) {
        m_sortPending = true;
        return;
    }
    m_sortUnderWay = true;
    const auto done = qScopeGuard([this] { m_sortUnderWay = false; });
    // The column and direction as they were asked for when it began: a click meanwhile only sets the next.
    const int sortKey = m_sortKey;
    const Qt::SortOrder sortOrder = m_sortOrder;
    // Work on a million rows pauses every 25 ms; false: given up.
    Pacer now_and_then(pause);
    // Names in German order (DIN 5007, variant 1). Every sort breaks its ties the same way, by the left
    // name, then the right name, then their bytes: the same list always sorts alike, and the descending
    // order is the ascending one reversed.
    const size_t n = m_rows.size();
    const bool rightFirst = sortKey == RightNameColumn;
    // The keys of the names compared first; the other side's only where these tie. They point at the rows'
    // names where they can: no row changes while a sort pauses (the core is busy, the list frozen).
    const auto firstName = [&](size_t i) -> const NativePath & {
        return rightFirst ? m_rows[i].rightName : m_rows[i].leftName;
    };
    std::vector<QByteArrayView> keys;
    std::vector<QByteArray> made;
    keys.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        if (i + PrefetchDistance < n)
            Prefetch(firstName(i + PrefetchDistance));
        const NativePath &name = firstName(i);
        keys.push_back(CollationKeyView(name, made));
        if (!now_and_then())
            return;
    }
    const auto keyAhead = [&](int i) { __builtin_prefetch(keys[size_t(i)].data()); };
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
    switch (sortKey) {
    case MarkerColumn: {
        // Markers order by their text; the rank of each text is found once.
        std::vector<int> rankOf(size_t(Marker::Unreadable) + 1);
        std::iota(rankOf.begin(), rankOf.end(), 0);
        std::sort(rankOf.begin(), rankOf.end(), [](int a, int b) { return MarkerText(Marker(a)) < MarkerText(Marker(b)); });
        std::vector<int> rank(rankOf.size());
        for (size_t i = 0; i < rankOf.size(); ++i)
            rank[size_t(rankOf[i])] = int(i);
        order = stableOrder(
            n, sortOrder,
            [&](int a, int b) {
                const int c = rank[size_t(m_rows[size_t(a)].marker)] - rank[size_t(m_rows[size_t(b)].marker)];
                return c ? c : byNames(a, b);
            },
            keyAhead, pause);
        break;
    }
    case LeftStampColumn:
    case RightStampColumn: {
        // A stamp without its name means nothing and sorts first, as an empty text would.
        const bool leftSide = sortKey == LeftStampColumn;
        const auto stamp = [&](int i) {
            const Row &r = m_rows[size_t(i)];
            return (leftSide ? r.leftName : r.rightName).isEmpty() ? std::numeric_limits<qint64>::min()
                                                                   : (leftSide ? r.left : r.right).modified;
        };
        order = stableOrder(
            n, sortOrder,
            [&](int a, int b) {
                const qint64 x = stamp(a), y = stamp(b);
                return x < y ? -1 : x > y ? 1 : byNames(a, b);
            },
            keyAhead, pause);
        break;
    }
    default: // the names, and the spare column, which is empty in every row
        order = stableOrder(n, sortOrder, byNames, keyAhead, pause);
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

} // namespace common

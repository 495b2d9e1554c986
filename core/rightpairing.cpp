#include "rightpairing.h"

#include "names.h"
#include "pacer.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace common {

namespace {
// Two scans of like trees list their files in the same order: a file named as the row after the last one
// paired, or one of the few after it (past files only the left side has), pairs without a table. Where
// the walk loses its way, it picks up again where the rows of the file's folder begin. Only exact names
// pair here, and those are unique on each side: the result is the table's.
bool pairInStep(const ComparisonList &list, size_t count, const std::function<const NativePath &(size_t)> &nameOf,
                std::vector<int> &rowOf, std::vector<char> &taken, Pacer &pace, size_t &paired)
{
    constexpr int LookAhead = 4;
    const auto folderOf = [](const NativePath &name) {
        const std::string_view path(name.constData(), size_t(name.size()));
        return path.substr(0, path.rfind(Separator) + 1); // npos + 1: no folder
    };
    const int rows = list.count();
    std::unordered_map<std::string_view, int> folderStart;
    std::string_view folder;
    for (int i = 0; i < rows; ++i) {
        if (i + int(PrefetchDistance) < rows)
            Prefetch(list.row(i + int(PrefetchDistance)).leftName);
        const NativePath &name = list.row(i).leftName;
        if (name.isEmpty())
            continue;
        if (const std::string_view itsFolder = folderOf(name); folderStart.empty() || itsFolder != folder) {
            folder = itsFolder;
            folderStart.emplace(folder, i);
        }
        if (!pace())
            return false;
    }
    int expected = 0;
    for (size_t i = 0; i < count; ++i) {
        if (i + PrefetchDistance < count)
            Prefetch(nameOf(i + PrefetchDistance));
        if (expected + int(PrefetchDistance) < rows)
            Prefetch(list.row(expected + int(PrefetchDistance)).leftName);
        const NativePath &name = nameOf(i);
        if (const std::string_view itsFolder = folderOf(name); i == 0 || itsFolder != folder) {
            folder = itsFolder;
            if (const auto start = folderStart.find(folder); start != folderStart.end())
                expected = start->second;
        }
        for (int row = expected, end = std::min(rows, expected + LookAhead); row < end; ++row) {
            if (!taken[size_t(row)] && list.row(row).leftName == name) {
                rowOf[i] = row;
                taken[size_t(row)] = 1;
                expected = row + 1;
                ++paired;
                break;
            }
        }
        if (!pace())
            return false;
    }
    return true;
}
} // namespace

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
    std::vector<char> taken;
    if (!fill(m_rows, count, -1) || !fill(taken, size_t(rows), char(0)))
        return;
    size_t paired = 0;
    if (!(m_complete = pairInStep(list, count, nameOf, m_rows, taken, pace, paired)))
        return;

    size_t size = 16;
    while (size < (size_t(rows) - paired) * 2)
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
    // The rows paired in step are left out: no other file has their exact name, and as taken rows they
    // are nobody's candidate without regard to case.
    for (int i = 0; i < rows; ++i) {
        if (taken[size_t(i)])
            continue; // without touching the row: most rows are taken, and a million rows are 130 MB
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
    std::unordered_map<size_t, int> waiting; // per slot: files of that folded name without an exact partner
    for (size_t i = 0; i < count; ++i) {
        if (m_rows[i] >= 0)
            continue;
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

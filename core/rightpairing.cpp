#include "rightpairing.h"

#include "names.h"
#include "pacer.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace common {

namespace {
std::string_view folderOf(const NativePath &name)
{
    const std::string_view path(name.constData(), size_t(name.size()));
    return path.substr(0, path.rfind(Separator) + 1); // npos + 1: no folder
}
} // namespace

RightPairing::RightPairing(const ComparisonList &list, size_t count, const NameOf &nameOf,
                           const std::function<bool()> &pause)
    : RightPairing(list, pause)
{
    pairTheRest(count, nameOf);
}

RightPairing::RightPairing(const ComparisonList &list, const std::function<bool()> &pause)
    : m_list(list), m_pace(pause)
{
    // A row's mark for a million rows is a megabyte to fault in: it is filled in pieces, the clock read
    // after each.
    const size_t rows = size_t(list.count());
    m_taken.reserve(rows);
    while (m_taken.size() < rows && pace(Pacer::Now))
        m_taken.resize(std::min(rows, m_taken.size() + 65536), char(0));
}

// Two scans of like trees list their files in the same order: a file named as the row after the last one
// paired, or one of the few after it (past files only the left side has), pairs without a table. Where
// the walk loses its way, it picks up again where the rows of the file's folder begin. Only exact names
// pair here, and those are unique on each side: the result is the table's.
bool RightPairing::pairInStep(size_t count, const NameOf &nameOf)
{
    constexpr int LookAhead = 4;
    const int rows = m_list.count();
    if (!m_complete)
        return false;
    if (!m_foldersKnown && m_rows.size() < count) {
        std::string_view folder;
        for (int i = 0; i < rows; ++i) {
            if (i + int(PrefetchDistance) < rows)
                Prefetch(m_list.row(i + int(PrefetchDistance)).leftName);
            const NativePath &name = m_list.row(i).leftName;
            if (name.isEmpty())
                continue;
            if (const std::string_view itsFolder = folderOf(name); m_folderStart.empty() || itsFolder != folder) {
                folder = itsFolder;
                m_folderStart.emplace(folder, i);
            }
            if (!pace())
                return false;
        }
        m_foldersKnown = true;
    }
    for (size_t i = m_rows.size(); i < count; ++i) {
        if (i + PrefetchDistance < count)
            Prefetch(nameOf(i + PrefetchDistance));
        if (m_expected + int(PrefetchDistance) < rows)
            Prefetch(m_list.row(m_expected + int(PrefetchDistance)).leftName);
        const NativePath &name = nameOf(i);
        if (const std::string_view itsFolder = folderOf(name); i == 0 || itsFolder != m_folder) {
            m_folder = itsFolder;
            if (const auto start = m_folderStart.find(m_folder); start != m_folderStart.end())
                m_expected = start->second;
        }
        int paired = -1;
        for (int row = m_expected, end = std::min(rows, m_expected + LookAhead); row < end; ++row) {
            if (!m_taken[size_t(row)] && m_list.row(row).leftName == name) {
                paired = row;
                m_taken[size_t(row)] = 1;
                m_expected = row + 1;
                ++m_paired;
                break;
            }
        }
        m_rows.push_back(paired);
        if (!pace())
            return false;
    }
    return true;
}

bool RightPairing::pairTheRest(size_t count, const NameOf &nameOf)
{
    if (!pairInStep(count, nameOf))
        return false;
    // The left names by folded name: open addressing over row positions, each slot the first row of a
    // folded name, with the upper half of its hash, so that a probe seldom has to look at a row; next is
    // the chain of its twins in list order.
    struct Slot
    {
        int first = -1;
        quint32 hash = 0;
    };
    // A table for a million rows is thousands of pages to fault in: it is filled in pieces, the clock read
    // after each.
    const auto fill = [&](auto &table, size_t n, auto value) {
        table.reserve(n);
        while (table.size() < n) {
            table.resize(std::min(n, table.size() + 65536), value);
            if (!pace(Pacer::Now))
                return false;
        }
        return true;
    };
    const int rows = m_list.count();
    size_t size = 16;
    while (size < (size_t(rows) - m_paired) * 2)
        size *= 2;
    const size_t mask = size - 1;
    std::vector<Slot> slots;
    std::vector<int> next;
    if (!fill(slots, size, Slot()) || !fill(next, size_t(rows), -1))
        return false;
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
                const NativePath &other = m_list.row(slot.first).leftName;
                if (other == name || CompareFolded(FoldedName(other), key) == 0)
                    return std::make_pair(at, upper);
            }
        }
    };
    // The rows paired in step are left out: no other file has their exact name, and as taken rows they
    // are nobody's candidate without regard to case.
    for (int i = 0; i < rows; ++i) {
        if (m_taken[size_t(i)])
            continue; // without touching the row: most rows are taken, and a million rows are 130 MB
        if (const NativePath &name = m_list.row(i).leftName; !name.isEmpty()) {
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
        if (!pace())
            return false;
    }

    // Exact names first; a file that has none waits with its slot (encoded below -1) for the second pass.
    std::unordered_map<size_t, int> waiting; // per slot: files of that folded name without an exact partner
    for (size_t i = 0; i < count; ++i) {
        if (m_rows[i] >= 0)
            continue;
        const NativePath &name = nameOf(i);
        const size_t slot = slotOf(name).first;
        int row = slots[slot].first;
        while (row >= 0 && m_list.row(row).leftName != name)
            row = next[size_t(row)];
        if (row >= 0) {
            m_rows[i] = row;
            m_taken[size_t(row)] = 1;
        } else if (slots[slot].first >= 0) {
            m_rows[i] = -2 - int(slot);
            ++waiting[slot];
        }
        if (!pace())
            return false;
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
            if (!m_taken[size_t(row)]) {
                candidate = row;
                ++candidates;
            }
        }
        if (candidates == 1)
            m_rows[i] = candidate;
    }
    return true;
}

} // namespace common

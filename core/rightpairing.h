#pragma once

#include "comparisonlist.h"
#include "pacer.h"

#include <functional>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace common {

/// Pairs the files of a right folder with the rows of the list by relative name. A file joins the row of
/// exactly its name; failing that, the row whose name differs from it only in letter case, where that row and
/// that file are the only ones of their folded name on either side without an exact partner. A row takes at
/// most one file: a letter-case twin never takes another one's place, and no file is hidden. Without twins
/// this is the first row, in the list's order, whose left name equals the file's without regard to case.
class RightPairing
{
public:
    using NameOf = std::function<const NativePath &(size_t)>;

    /// Pairs count files named by nameOf; pause is called now and then and returns false to give the work up.
    RightPairing(const ComparisonList &list, size_t count, const NameOf &nameOf,
                 const std::function<bool()> &pause = {});
    /// Pairs the files of a scan under way, as it finds them: pairInStep while it goes on, pairTheRest once
    /// it is done. The list must not change meanwhile.
    explicit RightPairing(const ComparisonList &list, const std::function<bool()> &pause = {});

    /// Takes up the files found since the last call (those before count) where they pair in step: two scans
    /// of like trees list their files in the same order, so most pair here, while the scan still lists.
    bool pairInStep(size_t count, const NameOf &nameOf);
    /// Pairs the files the walk in step left, once the scan is done (count files in all).
    bool pairTheRest(size_t count, const NameOf &nameOf);

    /// False when the pairing was given up.
    bool complete() const { return m_complete; }
    /// The row position of the i-th file, or -1 where it needs a row of its own.
    int rowOf(size_t i) const { return i < m_rows.size() ? m_rows[i] : -1; }

private:
    bool pace(unsigned pieces = 1) { return m_complete = m_complete && m_pace(pieces); }

    const ComparisonList &m_list;
    Pacer m_pace;
    std::vector<int> m_rows;
    std::vector<char> m_taken;
    size_t m_paired = 0; ///< files paired in step
    // The walk in step: per folder of the left rows, where its rows begin (found when first needed), the
    // folder of the last file walked, and the row after the last one paired.
    std::unordered_map<std::string_view, int> m_folderStart;
    bool m_foldersKnown = false;
    std::string_view m_folder;
    int m_expected = 0;
    bool m_complete = true;
};

} // namespace common

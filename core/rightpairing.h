#pragma once

#include "comparisonlist.h"

#include <functional>
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
    /// Pairs count files named by nameOf; pause is called now and then and returns false to give the work up.
    RightPairing(const ComparisonList &list, size_t count, const std::function<const NativePath &(size_t)> &nameOf,
                 const std::function<bool()> &pause = {});
    /// False when the pairing was given up.
    bool complete() const { return m_complete; }
    /// The row position of the i-th file, or -1 where it needs a row of its own.
    int rowOf(size_t i) const { return m_rows[i]; }

private:
    std::vector<int> m_rows;
    bool m_complete = true;
};

} // namespace common

#pragma once

#include "comparisonlist.h"

namespace common {

/// What a row shows of its two files when the pointer rests on it: each side's whole relative name, size in
/// bytes and modification time (local, to the second; to the nanosecond where the two differ only below a
/// second), or that the side has no file; a tool tip's lines.
QString RowDetails(const ComparisonList &list, int row);

} // namespace common

#pragma once

#include <QString>

namespace common {

/// The relation marker in the middle column of a row.
enum class Marker : quint8 {
    None,        ///< "" not compared yet
    Equal,       ///< "="
    Shorter,     ///< "<" left file shorter
    Longer,      ///< ">" left file longer
    Different,   ///< "<>" same size, other content
    Orphan,      ///< "?" file on one side only
    OrphanLeft,  ///< "? -->" left file only, copying it to the right is suggested
    OrphanRight, ///< "? <--" right file only, copying it to the left is suggested
    CopyRight,   ///< "-->"
    CopyLeft,    ///< "<--"
    DeleteRight, ///< "X->"
    DeleteLeft,  ///< "<-X"
    DeleteBoth,  ///< "XX"
    Skip,        ///< "]["
    Unreadable,  ///< "!" the pair could not be read, so no verdict was reached
};

/// The text of a marker as shown and exported.
QString MarkerText(Marker marker);

} // namespace common

#pragma once

#include <QString>

/// Small text helpers.
namespace QZSAMMLUNG2DIVFU {

/// Piece n (counted from 1) of text split at separator (a blank when the separator is empty), or the empty
/// text when there are fewer pieces. compareMode 0 matches the separator exactly, any other value without
/// regard to letter case.
QString NthField(const QString &text, int n, const QString &separator, int compareMode = 0);

} // namespace QZSAMMLUNG2DIVFU

#pragma once

#include "filesystem.h"
#include "marker.h"

#include <vector>

namespace common {

/// Compares a left and a right file by size and then by content, in blocks of 256 KiB that stop at the
/// first difference. "!" when a file cannot be sized, opened or read, or changes while it is read.
/// Files whose sizes differed when they were loaded are sized anew and not opened when they still
/// differ; files of equal sizes are sized by opening them (-1: no size known), except that a pair of at most
/// one block is first read through as loaded and looked at only when it reads otherwise.
/// Cursors, where given, keep the folders of the files open for the next pair.
Marker CompareFiles(FileSystem &fs, const NativePath &left, const NativePath &right, qint64 loadedLeftSize,
                    qint64 loadedRightSize, std::vector<char> &leftBlock, std::vector<char> &rightBlock,
                    FolderCursor *leftFolder = nullptr, FolderCursor *rightFolder = nullptr);

} // namespace common

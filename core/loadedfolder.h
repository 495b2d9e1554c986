#pragma once

#include "filesystem.h"
#include "ignorepatterns.h"

#include <QHash>
#include <QSet>

namespace common {

/// A folder the scan walked, by its identity: a step may pass through it only while it is still this folder,
/// reached through a link exactly where the scan followed one.
struct SeenFolder
{
    quint64 device = 0;
    quint64 inode = 0;
    quint64 born = 0; ///< see EntryInfo
    bool link = false;
};

/// A loaded folder as the scan walked it: its path (ending in the separator; empty while none is loaded),
/// its identity, and that of every folder in it by relative path without the trailing separator.
struct LoadedFolder
{
    NativePath path;
    EntryInfo seen;
    QHash<NativePath, SeenFolder> folders;
    qint64 listedAt = 0; ///< the second the scan began in, by this machine's clock
    bool twoSecondTimes = false; ///< its file system keeps times in steps of two seconds (FAT)
    QSet<NativePath> leftovers;  ///< the folders that held temporary files of copies, by relative path
    IgnorePatterns ignoreFile;   ///< the patterns of its own ignore file
};

} // namespace common

#include "filesystem.h"

namespace common {

bool SameEntry(const EntryInfo &now, const EntryInfo &seen, bool inodesKept)
{
    if (now.kind != seen.kind || now.link != seen.link)
        return false;
    if (inodesKept && (now.device != seen.device || now.inode != seen.inode))
        return false;
    // A folder's time and size change with every file added to it: only its place on the disk tells, and
    // its birth, where a folder made anew got the old one's number.
    if (now.kind == EntryKind::Folder)
        return now.born == seen.born || now.born == 0 || seen.born == 0;
    return now.kind != EntryKind::File ||
           (now.size == seen.size && now.modified == seen.modified && now.modifiedNs == seen.modifiedNs &&
            (now.changeTag == seen.changeTag || now.changeTag == 0 || seen.changeTag == 0));
}

bool SameMovedEntry(EntryInfo now, const EntryInfo &seen, bool inodesKept)
{
    now.changeTag = 0;
    return SameEntry(now, seen, inodesKept);
}

} // namespace common

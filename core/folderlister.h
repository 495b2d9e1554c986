#pragma once

#include "filesystem.h"
#include "ignorepatterns.h"
#include "workerthreads.h"

#include <QSet>

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace common {

/// Whether an entry the scan passes by is hidden: its own name, which follows the path of its folder
/// (folderLength bytes) in the name the lister gives it, starts with a dot.
inline bool IsHidden(const FolderEntry &entry, qsizetype folderLength)
{
    return entry.name.size() > folderLength && entry.name[folderLength] == '.';
}

/// Lists folders ahead of the scan on worker threads, several at once, so that the round trips of a far
/// or cold disk overlap with each other and with the scan's own work. The workers go down the tree by
/// themselves, into every subfolder the scan will visit unless it is a link (those only when the scan
/// announces them, so that a loop of links is never walked ahead), and always list next what the scan
/// will come to first. The scan takes each listing when it comes to that folder, in its own order: what it
/// reports and collects is what it would without them. The workers stop while they hold 4096 listings or
/// 262144 entries for the scan (about 40 MB), half as many again once holdMoreAhead() is called. Folder paths end in "/"; the entries of a listing are named
/// by their path within the tree the lister was made for, and come in the list's order of names.
///
/// Threads: everything public is called on one thread, the scan's. The workers call only the file system's
/// listFolder (whose contract allows calls from several threads). m_fs, m_root, m_forWhen and m_ignoring are set
/// before the workers start and only read after. Every other member is shared by the scan and the workers
/// and touched only under m_mutex, except m_workers, which the constructor fills and the destructor joins.
/// A worker lists a folder into a Listing of its own, outside the lock, and moves it into m_made under the
/// lock; the scan moves the entries out under the lock and owns them from then on: a listing crosses from
/// a worker to the scan once, whole, and no thread touches it after it has passed on. Folder paths cross
/// as copies of NativePath (implicitly shared, with an atomic count): each copy is used by one thread at a
/// time.
class FolderLister
{
public:
    /// Lists folders of the tree at root (a path ending in "/"), never ahead into one that ignoring leaves out.
    FolderLister(FileSystem &fs, NativePath root, std::shared_ptr<const IgnorePatterns> ignoring,
                 ReadingAhead forWhen = ReadingAhead::ForNow);
    ~FolderLister();

    /// The load before this lister's own is done listing and makes its rows on one core: the workers may
    /// use the other to list further ahead meanwhile.
    void holdMoreAhead();
    /// The scan will come to this folder soon: it is listed before anything found by the workers.
    void ahead(const NativePath &folder);
    /// The folder's listing, as FileSystem::listFolder. While it is not there yet, waiting is called every
    /// 25 ms (the window stays alive on a slow mount).
    int list(const NativePath &folder, std::vector<FolderEntry> &entries,
             const std::function<void()> &waiting = {});

private:
    struct Listing
    {
        bool done = false;
        int error = 0;
        std::vector<FolderEntry> entries;
    };
    /// Where a folder comes in the scan's order: the scan visits a folder, then its subfolders in the order
    /// of their listing, each subtree whole. Counting each subfolder from the first, the keys sort in that
    /// order.
    using ScanOrder = std::vector<quint32>;
    void work();

    FileSystem &m_fs;
    const NativePath m_root;
    const ReadingAhead m_forWhen;
    const std::shared_ptr<const IgnorePatterns> m_ignoring;
    NativePath m_urgent;                      ///< the scan waits for it and nobody has started it
    NativePath m_awaited;                     ///< the scan waits for it
    std::vector<NativePath> m_announced;      ///< by the scan, not yet started, latest last
    std::multimap<ScanOrder, NativePath> m_found; ///< by the workers, not yet started
    QSet<NativePath> m_known;                 ///< every folder announced or found, so none is queued twice
    QSet<NativePath> m_started;               ///< every folder listed or being listed, so none is listed twice
    std::map<NativePath, Listing> m_made;     ///< started or done, until the scan takes them
    size_t m_entriesHeld = 0;                 ///< in the listings of m_made
    size_t m_maxListings, m_maxEntries;       ///< what the workers may hold for the scan
    bool m_stop = false;
    std::mutex m_mutex;
    std::condition_variable m_work;   ///< workers wait here for folders to list
    std::condition_variable m_listed; ///< the scan waits here for its listing
    std::vector<std::thread> m_workers;
};

} // namespace common

#include "folderlister.h"

#include "names.h"

#include <algorithm>
#include <numeric>

namespace common {

namespace {
// What the workers hold for the scan at most: enough listings to hide round trips, and enough entries to keep
// a core busy while the scan's thread does other work (about 150 bytes an entry, its path in the tree
// included). Half as much again once the load before is done listing (see holdMoreAhead).
constexpr size_t MaxAhead = 4096;
constexpr size_t MaxEntriesAhead = 262144;

// A listing in the list's order of names, on the worker: the scan then visits the tree nearly in the order
// the list sorts into, and that sort finds long runs already in place instead of a million names in
// the order of the disk's hash.
void sortByName(std::vector<FolderEntry> &entries)
{
    std::vector<QByteArrayView> keys;
    std::vector<QByteArray> made;
    keys.reserve(entries.size());
    for (const FolderEntry &entry : entries)
        keys.push_back(CollationKeyView(entry.name, made));
    std::vector<quint32> order(entries.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](quint32 a, quint32 b) {
        const int c = CompareFolded(keys[a], keys[b]);
        return c != 0 ? c < 0 : entries[a].name < entries[b].name;
    });
    std::vector<FolderEntry> sorted;
    sorted.reserve(entries.size());
    for (const quint32 i : order)
        sorted.push_back(std::move(entries[i]));
    entries.swap(sorted);
}
} // namespace

FolderLister::FolderLister(FileSystem &fs, NativePath root, std::shared_ptr<const IgnorePatterns> ignoring,
                           ReadingAhead forWhen)
    : m_fs(fs), m_root(std::move(root)), m_forWhen(forWhen), m_ignoring(std::move(ignoring)),
      m_maxListings(MaxAhead), m_maxEntries(MaxEntriesAhead)
{
    for (unsigned i = 0; i < ListingWorkers; ++i)
        m_workers.emplace_back([this] { work(); });
}

FolderLister::~FolderLister()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_work.notify_all();
    for (std::thread &worker : m_workers)
        worker.join();
}

void FolderLister::holdMoreAhead()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_maxListings = MaxAhead * 3 / 2;
        m_maxEntries = MaxEntriesAhead * 3 / 2;
    }
    m_work.notify_all();
}

void FolderLister::ahead(const NativePath &folder)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_known.contains(folder))
            return; // found by a worker already
        m_known.insert(folder);
        m_announced.push_back(folder);
    }
    m_work.notify_one();
}

int FolderLister::list(const NativePath &folder, std::vector<FolderEntry> &entries,
                       const std::function<void()> &waiting)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_started.contains(folder)) {
        // The next worker free takes it, ahead of everything else; where it is queued too, it is passed
        // over there.
        m_known.insert(folder);
        m_urgent = folder;
        m_work.notify_one();
    }
    const auto ready = [&] {
        const auto made = m_made.find(folder);
        return made != m_made.end() && made->second.done;
    };
    m_awaited = folder;
    WaitYielding(lock, m_listed, ready, waiting);
    m_awaited.clear();
    const auto made = m_made.find(folder);
    const int error = made->second.error;
    const bool full = m_made.size() >= m_maxListings || m_entriesHeld >= m_maxEntries;
    entries = std::move(made->second.entries);
    m_entriesHeld -= entries.size();
    m_made.erase(made);
    lock.unlock();
    if (full)
        m_work.notify_one(); // room for one more listing
    return error;
}

void FolderLister::work()
{
    BecomeReadAheadThread(m_forWhen);
    for (;;) {
        NativePath folder;
        ScanOrder order;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_work.wait(lock, [&] {
                return m_stop || !m_urgent.isEmpty() ||
                       ((!m_announced.empty() || !m_found.empty()) && m_made.size() < m_maxListings &&
                        m_entriesHeld < m_maxEntries);
            });
            if (m_stop)
                return;
            if (!m_urgent.isEmpty()) {
                folder = std::move(m_urgent);
                m_urgent.clear();
            } else if (!m_announced.empty()) {
                folder = std::move(m_announced.back());
                m_announced.pop_back();
            } else {
                order = m_found.begin()->first;
                folder = std::move(m_found.begin()->second);
                m_found.erase(m_found.begin());
            }
            if (m_started.contains(folder))
                continue; // the scan asked for it first
            m_started.insert(folder);
            m_made[folder];
        }
        Listing listing;
        const NativePath withinTree = folder.mid(m_root.size());
        listing.error = m_fs.listFolder(folder, withinTree, listing.entries);
        sortByName(listing.entries);
        listing.done = true;
        // The subfolders the scan will visit, found here rather than when the scan comes to them, so that
        // several levels of the tree are under way at once. Where each comes in the scan's order is
        // counted among the entries the scan may visit (links included).
        std::vector<std::pair<ScanOrder, NativePath>> found;
        quint32 place = 0;
        for (const FolderEntry &entry : listing.entries) {
            if (entry.error != 0 || entry.info.kind != EntryKind::Folder || IsHidden(entry, withinTree.size()) ||
                m_ignoring->excludes(entry.name, withinTree.size(), true))
                continue;
            if (entry.info.link) {
                ++place;
                continue;
            }
            ScanOrder subfolderOrder = order;
            subfolderOrder.push_back(place++);
            found.emplace_back(std::move(subfolderOrder), m_root + entry.name + '/');
        }
        // Only the scan's own folder wakes it, and only as many workers as there are new folders: a listing
        // ends some thousand times a second.
        bool awaited = false;
        unsigned added = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_entriesHeld += listing.entries.size();
            m_made[folder] = std::move(listing);
            awaited = folder == m_awaited;
            for (auto &[subfolderOrder, subfolder] : found) {
                if (!m_known.contains(subfolder)) {
                    m_known.insert(subfolder);
                    m_found.emplace(std::move(subfolderOrder), std::move(subfolder));
                    ++added;
                }
            }
        }
        if (awaited)
            m_listed.notify_one();
        for (unsigned i = 0; i < std::min(added, ListingWorkers); ++i)
            m_work.notify_one();
    }
}

} // namespace common

#pragma once

#include "filesystem.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace common {

/// Lists folders ahead of the scan on a worker thread, so that waiting for the disk overlaps with the
/// scan's own work. The scan takes each listing when it comes to that folder, in its own order: what it
/// reports and collects is what it would without the lister.
class FolderLister
{
public:
    explicit FolderLister(FileSystem &fs);
    ~FolderLister();

    /// The folder will be asked for: it may be listed now. The latest announced is listed first, as the
    /// scan visits the subfolder it found last first.
    void ahead(const NativePath &folder);
    /// The folder's listing: as FileSystem::listFolder, taken from the worker or made now.
    int list(const NativePath &folder, std::vector<FolderEntry> &entries);

private:
    struct Listing
    {
        bool done = false;
        int error = 0;
        std::vector<FolderEntry> entries;
    };
    void work();

    FileSystem &m_fs;
    std::vector<NativePath> m_wanted;    ///< announced and not yet started, latest last
    std::map<NativePath, Listing> m_made; ///< started or done, until the scan takes them
    bool m_stop = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread m_worker;
};

} // namespace common

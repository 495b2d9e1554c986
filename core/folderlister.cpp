#include "folderlister.h"

#include <algorithm>

namespace common {

namespace {
constexpr size_t MaxAhead = 64; // listings held for the scan at most
}

FolderLister::FolderLister(FileSystem &fs) : m_fs(fs), m_worker([this] { work(); }) {}

FolderLister::~FolderLister()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_worker.join();
}

void FolderLister::ahead(const NativePath &folder)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_wanted.push_back(folder);
    }
    m_changed.notify_all();
}

int FolderLister::list(const NativePath &folder, std::vector<FolderEntry> &entries)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto wanted = std::find(m_wanted.rbegin(), m_wanted.rend(), folder);
    if (wanted != m_wanted.rend())
        m_wanted.erase(std::next(wanted).base()); // not started: listed here, now
    const auto made = m_made.find(folder);
    if (made == m_made.end()) {
        lock.unlock();
        return m_fs.listFolder(folder, entries);
    }
    m_changed.wait(lock, [&] { return made->second.done; });
    const int error = made->second.error;
    entries = std::move(made->second.entries);
    m_made.erase(made);
    lock.unlock();
    m_changed.notify_all(); // room for the worker
    return error;
}

void FolderLister::work()
{
    for (;;) {
        NativePath folder;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [&] { return m_stop || (!m_wanted.empty() && m_made.size() < MaxAhead); });
            if (m_stop)
                return;
            folder = std::move(m_wanted.back());
            m_wanted.pop_back();
            m_made[folder]; // started
        }
        Listing listing;
        listing.error = m_fs.listFolder(folder, listing.entries);
        listing.done = true;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_made[folder] = std::move(listing);
        }
        m_changed.notify_all();
    }
}

} // namespace common

// The pool of workers that reaches the binary verdicts of a comparison run ahead of it.

#include "paircomparer.h"

#include "filecomparison.h"
#include "names.h"
#include "pacer.h"
#include "workerthreads.h"

#include <algorithm>
#include <chrono>

namespace common {

namespace {

// Each worker holds two blocks (512 KiB), and four more while it reads a large pair: 24 MiB at most.
constexpr size_t Claim = 8;         // pairs a worker takes up at once: one lock for several small files
constexpr size_t ClaimsPerLook = 4; // claims over which a worker judges whether the files are far
constexpr size_t ReadAhead = 1024;  // pairs the workers may be ahead of the run
constexpr size_t Batch = 64;        // a run that has to wait waits for this many verdicts at once

} // namespace

PairComparer::PairComparer(FileSystem &fs, const ComparisonList &list, NativePath leftPath, NativePath rightPath,
                           const std::function<bool()> &pause)
    : m_fs(fs), m_leftPath(std::move(leftPath)), m_rightPath(std::move(rightPath))
{
    m_pairs.reserve(size_t(list.count())); // never moved while it grows; room not filled takes no memory
    Pacer pace(pause);
    for (int i = 0; i < list.count(); ++i) {
        // Copying a name counts a reference in its block: the blocks of the rows ahead are fetched meanwhile.
        if (const int ahead = i + int(PrefetchDistance); ahead < list.count()) {
            Prefetch(list.row(ahead).leftName);
            Prefetch(list.row(ahead).rightName);
        }
        if (const Row &row = list.row(i); !row.leftName.isEmpty() && !row.rightName.isEmpty())
            m_pairs.push_back({row.leftName, row.rightName, row.left.size, row.right.size});
        pace();
    }
    m_verdicts.resize(m_pairs.size());
    m_done.assign(m_pairs.size(), 0);
    m_active = CoreWorkers();
    const size_t claims = (m_pairs.size() + Claim - 1) / Claim;
    for (unsigned i = 0; i < FarPairWorkers && i < claims; ++i)
        m_workers.emplace_back([this, i] { work(i); });
}

PairComparer::~PairComparer()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_room.notify_all();
    for (std::thread &worker : m_workers)
        worker.join();
}

Marker PairComparer::take(size_t k, const std::function<void()> &waiting)
{
    // A verdict seen to be in under the lock before is read without it: none is written twice.
    if (k < m_seen)
        return m_verdicts[k];
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_done[k] == 0) {
        m_awaited = std::min(k + Batch, m_pairs.size() - 1);
        m_runWaits = true;
        WaitYielding(lock, m_ready, [&] { return m_done[k] != 0 && m_done[m_awaited] != 0; }, waiting);
        m_runWaits = false;
    }
    // Every verdict in by now is taken at once: a lock for each small file kept the workers waiting for it.
    m_seen = k + 1;
    while (m_seen < m_pairs.size() && m_done[m_seen] != 0)
        ++m_seen;
    m_taken = m_seen;
    const Marker verdict = m_verdicts[k];
    // Workers that ran out of room sleep until half of it is free again: one wake-up for many pairs.
    const bool wake = m_workersWaiting > 0 && m_next <= m_taken + ReadAhead / 2;
    lock.unlock();
    if (wake)
        m_room.notify_all();
    return verdict;
}

void PairComparer::work(unsigned index)
{
    BecomeReadAheadThread();
    std::vector<char> leftBlock, rightBlock;
    const std::unique_ptr<FolderCursor> leftFolder = m_fs.newFolderCursor(), rightFolder = m_fs.newFolderCursor();
    // The paths are put together in the same two buffers for every pair.
    NativePath leftPath = m_leftPath, rightPath = m_rightPath;
    leftPath.reserve(1024);
    rightPath.reserve(1024);
    Marker verdicts[Claim];
    // Whether the files are far is judged over a few claims together: two looks at the thread's usage for
    // every ClaimsPerLook claims, not for each. Time spent waiting for room starts the judgement over.
    const ThreadClock clock;
    std::chrono::steady_clock::time_point lookStart;
    ThreadClock::Usage lookUsage;
    size_t claimsLooked = 0;
    for (;;) {
        size_t first, last;
        bool mayWiden, waited = false;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            const auto mayGoOn = [&](size_t room) {
                return m_stop || m_next >= m_pairs.size() || m_next + room <= m_taken + ReadAhead;
            };
            if (index >= m_active) {
                waited = true;
                m_room.wait(lock, [&] { return m_stop || index < m_active || m_next >= m_pairs.size(); });
            }
            if (!mayGoOn(1)) {
                waited = true;
                ++m_workersWaiting;
                m_room.wait(lock, [&] { return mayGoOn(ReadAhead / 2); });
                --m_workersWaiting;
            }
            if (m_stop || m_next >= m_pairs.size())
                return;
            first = m_next;
            last = std::min(first + Claim, m_pairs.size());
            m_next = last;
            mayWiden = m_active < FarPairWorkers;
        }
        if (mayWiden && (waited || claimsLooked == 0)) {
            lookStart = std::chrono::steady_clock::now();
            lookUsage = clock.now();
            claimsLooked = 0;
        }
        for (size_t k = first; k < last; ++k) {
            const Pair &pair = m_pairs[k];
            leftPath.truncate(m_leftPath.size());
            leftPath += pair.left;
            rightPath.truncate(m_rightPath.size());
            rightPath += pair.right;
            verdicts[k - first] = CompareFiles(m_fs, leftPath, rightPath, pair.leftSize, pair.rightSize, leftBlock,
                                               rightBlock, leftFolder.get(), rightFolder.get());
        }
        // Asleep for more than half of at least a millisecond: the files are far (a mount, a cold disk),
        // and more workers help. Files in memory keep a reader on its core or waiting for one (the run's
        // thread comes first), never asleep for long.
        bool far = false;
        if (mayWiden && ++claimsLooked == ClaimsPerLook) {
            const auto wall = std::chrono::steady_clock::now() - lookStart;
            const ThreadClock::Usage now = clock.now();
            const auto awake = (now.onCore - lookUsage.onCore) + (now.queued - lookUsage.queued);
            far = wall > std::chrono::milliseconds(1) && (!now.known || wall > 2 * awake);
            claimsLooked = 0;
        }
        bool wake;
        bool widened = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (far && m_active < FarPairWorkers) {
                m_active = FarPairWorkers;
                widened = true;
            }
            for (size_t k = first; k < last; ++k) {
                m_verdicts[k] = verdicts[k - first];
                m_done[k] = 1;
            }
            wake = m_runWaits && m_done[m_awaited] != 0;
        }
        if (widened)
            m_room.notify_all();
        if (wake)
            m_ready.notify_all();
    }
}

} // namespace common

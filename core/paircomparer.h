#pragma once

#include "comparisonlist.h"
#include "filesystem.h"
#include "marker.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace common {

/// Reaches the binary verdicts of a comparison run ahead of it, on as many worker threads as cores, or 16
/// once the files turn out to be far: the round trips of a network mount or a cold disk overlap with each
/// other and with the run. The run takes the verdicts in list order, so its markers, counters, progress and
/// yields are those of a run without it (plus a pause for every 25 ms it copies the pairs or waits).
///
/// Threads: everything public is called on one thread, the run's. The constructor copies the names and
/// sizes of the rows that have a file on both sides, and the workers read only that copy and the file
/// system (whose contract allows calls from several threads); they never touch the list. The k-th verdict
/// belongs to the k-th such row in list order: the run must not move the rows meanwhile (the list is frozen
/// while the core is busy).
class PairComparer
{
public:
    /// pause, where given, is called every 25 ms while the rows are copied (a million take a while).
    PairComparer(FileSystem &fs, const ComparisonList &list, NativePath leftPath, NativePath rightPath,
                 const std::function<bool()> &pause = {});
    ~PairComparer();

    /// The verdict for the k-th of those rows, waiting for it if need be; k counts up from 0. While it
    /// waits, waiting is called every 25 ms (the window stays alive on a slow mount).
    Marker take(size_t k, const std::function<void()> &waiting = {});

private:
    void work(unsigned index);

    /// What the workers know of a row: their own copy, so that they never read the list.
    struct Pair
    {
        NativePath left, right;
        qint64 leftSize, rightSize;
    };

    FileSystem &m_fs;
    const NativePath m_leftPath, m_rightPath;
    std::vector<Pair> m_pairs; ///< written before the workers start, then only read
    std::vector<Marker> m_verdicts;
    std::vector<char> m_done;
    size_t m_next = 0;  ///< the next pair a worker takes up
    size_t m_taken = 0; ///< pairs the run has taken; workers stay a bounded distance ahead of it
    size_t m_seen = 0;  ///< the run's own: the verdicts before it were in when it last looked
    bool m_stop = false;
    // Who sleeps: a wake-up is only sent to a sleeper, since a handoff per pair would cost more than a
    // small file's comparison.
    bool m_runWaits = false;
    size_t m_awaited = 0; ///< while the run waits: it goes on once this verdict is in as well
    int m_workersWaiting = 0;
    unsigned m_active = 2; ///< workers that may take up pairs: more once pairs turn out to be far
    std::mutex m_mutex;
    std::condition_variable m_ready, m_room;
    std::vector<std::thread> m_workers;
};

} // namespace common

#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace common {

// What the threads that read ahead of the scan and of the binary comparison have in common: how many of
// them there are, their priority, and the wait of the window's thread for their results.

/// Listings in flight at once: enough to hide a network round trip or a disk seek, not a matter of cores.
constexpr unsigned ListingWorkers = 8;
/// Pairs of files in flight at once once the files turn out to come from far (a network mount, a cold
/// disk) and a worker spends most of its time waiting: enough to hide the round trips.
constexpr unsigned FarPairWorkers = 16;
/// Pairs in flight while the files come from memory: as many as cores, at least two.
unsigned CoreWorkers();

/// How often the window's thread yields while it waits for a worker (the window stays alive on a slow mount).
constexpr std::chrono::milliseconds Patience(25);

/// Waits under lock until ready() holds; every Patience meanwhile, waiting (where given) is called with the
/// lock released.
template<typename Ready>
void WaitYielding(std::unique_lock<std::mutex> &lock, std::condition_variable &condition, Ready ready,
                  const std::function<void()> &waiting)
{
    while (!condition.wait_for(lock, Patience, ready)) {
        if (waiting) {
            lock.unlock();
            waiting();
            lock.lock();
        }
    }
}

/// Whom a thread reads ahead for: the step under way, or a later one (the folder a batch loads next).
enum class ReadingAhead { ForNow, ForLater };

/// Lowers the calling thread's priority: a thread that only reads ahead leaves the cores to the thread that
/// runs the window whenever both want them, and one that reads for a later step leaves them to the threads
/// of the step under way as well (Linux; elsewhere nothing happens).
void BecomeReadAheadThread(ReadingAhead forWhen = ReadingAhead::ForNow);

/// What the calling thread has spent on a core and waiting for one, from the scheduler's own account
/// (Linux): the rest of a while it was asleep, waiting for the disk or the network, for the most part.
/// Where there is no such account, usage is never known.
class ThreadClock
{
public:
    struct Usage
    {
        std::chrono::nanoseconds onCore{}, queued{};
        bool known = false;
    };
    ThreadClock();
    ~ThreadClock();
    ThreadClock(const ThreadClock &) = delete;
    ThreadClock &operator=(const ThreadClock &) = delete;

    Usage now() const;

private:
    int m_fd = -1;
};

} // namespace common

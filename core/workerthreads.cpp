#include "workerthreads.h"

#include <algorithm>
#include <thread>

#ifdef __linux__
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace common {

unsigned CoreWorkers()
{
    return std::clamp(std::thread::hardware_concurrency(), 2u, FarPairWorkers);
}

void BecomeReadAheadThread(ReadingAhead forWhen)
{
#ifdef __linux__
    // Per thread on Linux; a failure only costs smoothness. Nice 19 weighs a seventh of nice 10: a later
    // step's reading gets the cores this step leaves idle, and little of the rest.
    setpriority(PRIO_PROCESS, id_t(gettid()), forWhen == ReadingAhead::ForLater ? 19 : 10);
#else
    (void)forWhen;
#endif
}

ThreadClock::ThreadClock()
{
#ifdef __linux__
    m_fd = ::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
#endif
}

ThreadClock::~ThreadClock()
{
#ifdef __linux__
    if (m_fd >= 0)
        ::close(m_fd);
#endif
}

ThreadClock::Usage ThreadClock::now() const
{
    Usage usage;
#ifdef __linux__
    char text[96];
    const ssize_t n = m_fd >= 0 ? ::pread(m_fd, text, sizeof text - 1, 0) : -1;
    unsigned long long queued = 0;
    timespec cpu{};
    if (n > 0) {
        text[n] = 0;
        // The account's time on a core is brought up to date only now and then; the clock's always.
        if (std::sscanf(text, "%*s %llu", &queued) == 1 && clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu) == 0) {
            usage.onCore = std::chrono::seconds(cpu.tv_sec) + std::chrono::nanoseconds(cpu.tv_nsec);
            usage.queued = std::chrono::nanoseconds(queued);
            usage.known = true;
        }
    }
#endif
    return usage;
}

} // namespace common

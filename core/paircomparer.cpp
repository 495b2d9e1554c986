#include "paircomparer.h"

#include "folderlister.h"
#include "pacer.h"

#include <algorithm>
#include <chrono>
#include <optional>

#ifdef __linux__
#include <fcntl.h>
#include <unistd.h>
#endif
#include <cstdio>
#include <cstring>

namespace common {

namespace {

constexpr qint64 BlockSize = 262144;
// Pairs in flight: as many workers as cores while the files come from memory, 16 as soon as they turn out
// to come from far (a network mount, a cold disk) and a worker spends most of its time waiting: enough to
// hide the round trips. Each worker holds two blocks (512 KiB), and four more while it reads a large pair:
// 24 MiB at most.
constexpr unsigned Workers = 16;
constexpr size_t Claim = 8;         // pairs a worker takes up at once: one lock for several small files
constexpr size_t ClaimsPerLook = 4; // claims over which a worker judges whether the files are far
constexpr size_t ReadAhead = 1024;  // pairs the workers may be ahead of the run
constexpr size_t Batch = 64;        // a run that has to wait waits for this many verdicts at once
constexpr std::chrono::milliseconds Patience(25); // the window yields this often while it waits

// Reads exactly count bytes; a short read means the file changed under us.
bool readBlock(InputFile &file, char *buffer, qint64 count)
{
    while (count > 0) {
        const qint64 n = file.read(buffer, count);
        if (n <= 0)
            return false;
        buffer += n;
        count -= n;
    }
    return true;
}

// Reads the last count bytes of a file that should end there. One byte more is asked for in the same call:
// a file that delivers it has grown since it was sized. A regular file reads short only at its end.
bool readLastBlock(InputFile &file, char *buffer, qint64 count)
{
    qint64 got = 0;
    for (;;) {
        const qint64 wanted = count + 1 - got;
        const qint64 n = file.read(buffer + got, wanted);
        if (n < 0)
            return false;
        got += n;
        if (n == 0 || n < wanted)
            return got == count;
        if (got > count)
            return false;
    }
}

// Reads a file's blocks on a thread of its own, a few blocks ahead of the comparison, so that the two
// files of a large pair are read by two cores at once.
class BlockReader
{
public:
    BlockReader(InputFile &file, qint64 size) : m_file(file), m_size(size), m_thread([this] { run(); }) {}
    ~BlockReader()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_room.notify_one();
        m_thread.join();
    }

    /// The next block, or nullptr when the file did not read as its size says. The block handed out
    /// before is done with.
    const char *next()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_released = m_taken;
        if (m_readerWaits)
            m_room.notify_one();
        if (m_read <= m_taken) {
            m_consumerWaits = true;
            m_ready.wait(lock, [&] { return m_read > m_taken; });
            m_consumerWaits = false;
        }
        const size_t slot = m_taken++ % Depth;
        return m_ok[slot] ? m_buffers[slot].data() : nullptr;
    }

private:
    static constexpr size_t Depth = 4;

    void run()
    {
        BecomeReadAheadThread();
        for (auto &buffer : m_buffers)
            buffer.resize(size_t(BlockSize) + 1);
        size_t block = 0;
        for (qint64 done = 0; done < m_size; ++block) {
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                if (!m_stop && block - m_released >= Depth) {
                    m_readerWaits = true;
                    m_room.wait(lock, [&] { return m_stop || block - m_released < Depth; });
                    m_readerWaits = false;
                }
                if (m_stop)
                    return;
            }
            const size_t slot = block % Depth;
            const qint64 count = std::min(m_size - done, BlockSize);
            done += count;
            const bool ok = done < m_size ? readBlock(m_file, m_buffers[slot].data(), count)
                                          : readLastBlock(m_file, m_buffers[slot].data(), count);
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_ok[slot] = ok;
                m_read = block + 1;
                if (m_consumerWaits)
                    m_ready.notify_one();
            }
            if (!ok)
                return;
        }
    }

    InputFile &m_file;
    const qint64 m_size;
    std::vector<char> m_buffers[Depth];
    bool m_ok[Depth] = {};
    size_t m_read = 0, m_taken = 0, m_released = 0; ///< blocks read, handed out, done with
    bool m_stop = false, m_readerWaits = false, m_consumerWaits = false;
    std::mutex m_mutex;
    std::condition_variable m_ready, m_room;
    std::thread m_thread; // last: it starts when everything above is ready
};

constexpr qint64 LargeFile = 8 << 20; // from here on the right file is read on a thread of its own

// A pair of one block each, as loaded, read through without looking at the files first: when both read
// as exactly that size, their bytes decide. Whatever reads otherwise (a file changed since the load, a
// FIFO or a device in its place, a failed read) is left to the careful way, which looks before it reads.
// A step that acts on the verdict checks the file's identity itself.
std::optional<Marker> compareAsLoaded(FileSystem &fs, const NativePath &left, const NativePath &right, qint64 size,
                                      std::vector<char> &leftBlock, std::vector<char> &rightBlock,
                                      FolderCursor *leftFolder, FolderCursor *rightFolder)
{
    int error = 0;
    const std::unique_ptr<InputFile> lf = fs.openToReadThrough(leftFolder, left, error);
    const std::unique_ptr<InputFile> rf = lf ? fs.openToReadThrough(rightFolder, right, error) : nullptr;
    if (!rf)
        return std::nullopt;
    leftBlock.resize(size_t(BlockSize) + 1);
    rightBlock.resize(size_t(BlockSize) + 1);
    if (!readLastBlock(*lf, leftBlock.data(), size) || !readLastBlock(*rf, rightBlock.data(), size))
        return std::nullopt;
    return std::memcmp(leftBlock.data(), rightBlock.data(), size_t(size)) == 0 ? Marker::Equal : Marker::Different;
}
} // namespace

Marker CompareFiles(FileSystem &fs, const NativePath &left, const NativePath &right, qint64 loadedLeftSize,
                    qint64 loadedRightSize, std::vector<char> &leftBlock, std::vector<char> &rightBlock,
                    FolderCursor *leftFolder, FolderCursor *rightFolder)
{
    if (loadedLeftSize == loadedRightSize && loadedLeftSize > 0 && loadedLeftSize <= BlockSize) {
        if (const std::optional<Marker> verdict =
                compareAsLoaded(fs, left, right, loadedLeftSize, leftBlock, rightBlock, leftFolder, rightFolder))
            return *verdict;
    }
    if (loadedLeftSize != loadedRightSize || loadedLeftSize < 0) {
        EntryInfo l, r;
        if (fs.inspect(left, l) != 0 || fs.inspect(right, r) != 0 || l.kind != EntryKind::File ||
            r.kind != EntryKind::File)
            return Marker::Unreadable;
        if (l.size != r.size)
            return l.size < r.size ? Marker::Shorter : Marker::Longer;
    }

    // The open file's own size is the one that counts: no file can change size between a look and a read.
    int error = 0;
    const std::unique_ptr<InputFile> lf = fs.openForReading(leftFolder, left, error);
    if (!lf)
        return Marker::Unreadable;
    const std::unique_ptr<InputFile> rf = fs.openForReading(rightFolder, right, error);
    if (!rf)
        return Marker::Unreadable;
    const qint64 size = lf->size();
    if (size != rf->size())
        return size < rf->size() ? Marker::Shorter : Marker::Longer;
    if (size == 0)
        return Marker::Equal;

    leftBlock.resize(size_t(BlockSize) + 1);
    rightBlock.resize(size_t(BlockSize) + 1);
    if (size >= LargeFile) {
        BlockReader rightBlocks(*rf, size);
        for (qint64 remaining = size; remaining > 0;) {
            const qint64 count = std::min(remaining, BlockSize);
            remaining -= count;
            const bool read = remaining > 0 ? readBlock(*lf, leftBlock.data(), count)
                                            : readLastBlock(*lf, leftBlock.data(), count);
            const char *other = rightBlocks.next();
            if (!read || !other)
                return Marker::Unreadable;
            if (std::memcmp(leftBlock.data(), other, size_t(count)) != 0)
                return Marker::Different;
        }
        return Marker::Equal;
    }
    for (qint64 remaining = size; remaining > 0;) {
        const qint64 count = std::min(remaining, BlockSize);
        remaining -= count;
        const bool read = remaining > 0 ? readBlock(*lf, leftBlock.data(), count) && readBlock(*rf, rightBlock.data(), count)
                                        : readLastBlock(*lf, leftBlock.data(), count) &&
                                              readLastBlock(*rf, rightBlock.data(), count);
        if (!read)
            return Marker::Unreadable;
        if (std::memcmp(leftBlock.data(), rightBlock.data(), size_t(count)) != 0)
            return Marker::Different;
    }
    return Marker::Equal;
}

PairComparer::PairComparer(FileSystem &fs, const ComparisonList &list, NativePath leftPath, NativePath rightPath,
                           const std::function<bool()> &pause)
    : m_fs(fs), m_leftPath(std::move(leftPath)), m_rightPath(std::move(rightPath))
{
    m_pairs.reserve(size_t(list.count())); // never moved while it grows; room not filled takes no memory
    Pacer pace(pause);
    for (int i = 0; i < list.count(); ++i) {
        if (const Row &row = list.row(i); !row.leftName.isEmpty() && !row.rightName.isEmpty())
            m_pairs.push_back({row.leftName, row.rightName, row.left.size, row.right.size});
        pace();
    }
    m_verdicts.resize(m_pairs.size());
    m_done.assign(m_pairs.size(), 0);
    m_active = std::clamp(std::thread::hardware_concurrency(), 2u, Workers);
    const size_t claims = (m_pairs.size() + Claim - 1) / Claim;
    for (unsigned i = 0; i < Workers && i < claims; ++i)
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
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_done[k] == 0) {
        m_awaited = std::min(k + Batch, m_pairs.size() - 1);
        m_runWaits = true;
        while (!m_ready.wait_for(lock, Patience, [&] { return m_done[k] != 0 && m_done[m_awaited] != 0; })) {
            if (waiting) {
                lock.unlock();
                waiting();
                lock.lock();
            }
        }
        m_runWaits = false;
    }
    m_taken = k + 1;
    const Marker verdict = m_verdicts[k];
    // Workers that ran out of room sleep until half of it is free again: one wake-up for many pairs.
    const bool wake = m_workersWaiting > 0 && m_next <= m_taken + ReadAhead / 2;
    lock.unlock();
    if (wake)
        m_room.notify_all();
    return verdict;
}

namespace {
// What this thread has spent on a core and waiting for one, from the scheduler's own account (Linux): the
// rest of a while it was asleep, waiting for the disk or the network, for the most part. Where there is
// no such account, every slow claim counts as far.
class ThreadClock
{
public:
    struct Usage
    {
        std::chrono::nanoseconds onCore{}, queued{};
        bool known = false;
    };
    ThreadClock()
    {
#ifdef __linux__
        m_fd = ::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
#endif
    }
    ~ThreadClock()
    {
#ifdef __linux__
        if (m_fd >= 0)
            ::close(m_fd);
#endif
    }
    ThreadClock(const ThreadClock &) = delete;
    ThreadClock &operator=(const ThreadClock &) = delete;

    Usage now() const
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
            if (std::sscanf(text, "%*s %llu", &queued) == 1 &&
                clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu) == 0) {
                usage.onCore = std::chrono::seconds(cpu.tv_sec) + std::chrono::nanoseconds(cpu.tv_nsec);
                usage.queued = std::chrono::nanoseconds(queued);
                usage.known = true;
            }
        }
#endif
        return usage;
    }

private:
    int m_fd = -1;
};
} // namespace

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
            mayWiden = m_active < Workers;
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
            if (far && m_active < Workers) {
                m_active = Workers;
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

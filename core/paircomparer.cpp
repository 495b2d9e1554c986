#include "paircomparer.h"

#include <cstring>

namespace common {

namespace {

constexpr qint64 BlockSize = 262144;
constexpr size_t ReadAhead = 256; // pairs a worker may be ahead of the run
constexpr size_t Batch = 64;      // a run that has to wait waits for this many verdicts at once
constexpr size_t Claim = 16;      // pairs a worker takes up at once: one lock for many small files

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

} // namespace

Marker CompareFiles(FileSystem &fs, const NativePath &left, const NativePath &right, qint64 loadedLeftSize,
                    qint64 loadedRightSize, std::vector<char> &leftBlock, std::vector<char> &rightBlock)
{
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
    const std::unique_ptr<InputFile> lf = fs.openForReading(left, error);
    if (!lf)
        return Marker::Unreadable;
    const std::unique_ptr<InputFile> rf = fs.openForReading(right, error);
    if (!rf)
        return Marker::Unreadable;
    const qint64 size = lf->size();
    if (size != rf->size())
        return size < rf->size() ? Marker::Shorter : Marker::Longer;
    if (size == 0)
        return Marker::Equal;

    leftBlock.resize(size_t(BlockSize) + 1);
    rightBlock.resize(size_t(BlockSize) + 1);
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
                           std::vector<int> rows)
    : m_fs(fs), m_list(list), m_leftPath(std::move(leftPath)), m_rightPath(std::move(rightPath)),
      m_rows(std::move(rows)), m_verdicts(m_rows.size()), m_done(m_rows.size(), 0)
{
    const unsigned workers = std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
    for (unsigned i = 0; i < workers && i < m_rows.size(); ++i)
        m_workers.emplace_back([this] { work(); });
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

Marker PairComparer::take(size_t k)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_done[k] == 0) {
        m_awaited = std::min(k + Batch, m_rows.size() - 1);
        m_runWaits = true;
        m_ready.wait(lock, [&] { return m_done[k] != 0 && m_done[m_awaited] != 0; });
        m_runWaits = false;
    }
    m_taken = k + 1;
    const Marker verdict = m_verdicts[k];
    const bool wake = m_workersWaiting > 0;
    lock.unlock();
    if (wake)
        m_room.notify_all();
    return verdict;
}

void PairComparer::work()
{
    std::vector<char> leftBlock, rightBlock;
    Marker verdicts[Claim];
    for (;;) {
        size_t first, last;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            const auto mayGoOn = [&] { return m_stop || m_next >= m_rows.size() || m_next < m_taken + ReadAhead; };
            if (!mayGoOn()) {
                ++m_workersWaiting;
                m_room.wait(lock, mayGoOn);
                --m_workersWaiting;
            }
            if (m_stop || m_next >= m_rows.size())
                return;
            first = m_next;
            last = std::min(first + Claim, m_rows.size());
            m_next = last;
        }
        for (size_t k = first; k < last; ++k) {
            const Row &row = m_list.row(m_rows[k]);
            verdicts[k - first] = CompareFiles(m_fs, m_leftPath + row.leftName, m_rightPath + row.rightName,
                                               row.leftSize, row.rightSize, leftBlock, rightBlock);
        }
        bool wake;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (size_t k = first; k < last; ++k) {
                m_verdicts[k] = verdicts[k - first];
                m_done[k] = 1;
            }
            wake = m_runWaits && m_done[m_awaited] != 0;
        }
        if (wake)
            m_ready.notify_all();
    }
}

} // namespace common

// The comparison of one pair of files: sizes first, then their contents block by block.

#include "filecomparison.h"

#include "workerthreads.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

namespace common {

namespace {

constexpr qint64 BlockSize = 262144;

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

} // namespace common

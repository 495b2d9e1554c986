#include "faultyfilesystem.h"

#include <algorithm>
#include <utility>

namespace {

class CountedFile : public common::InputFile
{
public:
    CountedFile(std::unique_ptr<common::InputFile> file, std::atomic<int> &open, qint64 failAt,
                std::function<void()> beforeRead)
        : m_file(std::move(file)), m_open(open), m_failAt(failAt), m_beforeRead(std::move(beforeRead))
    {
        ++m_open;
    }
    ~CountedFile() override { --m_open; }
    qint64 size() const override { return m_file->size(); }

    qint64 read(char *buffer, qint64 max) override
    {
        if (m_beforeRead)
            std::exchange(m_beforeRead, nullptr)();
        if (m_failAt > 0 && m_offset + max > m_failAt)
            return -1;
        const qint64 n = m_file->read(buffer, max);
        m_offset += qMax<qint64>(n, 0);
        return n;
    }

private:
    std::unique_ptr<common::InputFile> m_file;
    std::atomic<int> &m_open;
    qint64 m_failAt, m_offset = 0;
    std::function<void()> m_beforeRead;
};

} // namespace

int FaultyFileSystem::listFolder(const common::NativePath &folder, std::vector<common::FolderEntry> &entries)
{
    QMutexLocker lock(&m_mutex);
    if (const int error = fault("list", folder))
        return error;
    std::vector<common::FolderEntry> listed;
    const int result = m_real->listFolder(folder, listed);
    std::sort(listed.begin(), listed.end(), [](const auto &a, const auto &b) { return a.name < b.name; });
    for (common::FolderEntry &entry : listed) {
        if (const int error = fault("entry", folder + entry.name))
            entry = {entry.name, error, {}};
        entries.push_back(std::move(entry));
    }
    return result;
}

int FaultyFileSystem::inspect(const common::NativePath &path, common::EntryInfo &info)
{
    QMutexLocker lock(&m_mutex);
    if (const int error = fault("inspect", path))
        return error;
    return m_real->inspect(path, info);
}

std::unique_ptr<common::InputFile> FaultyFileSystem::openForReading(const common::NativePath &path, int &error)
{
    QMutexLocker lock(&m_mutex);
    ++opens;
    if ((error = fault("open", path)))
        return nullptr;
    auto file = m_real->openForReading(path, error);
    if (!file)
        return nullptr;
    std::function<void()> hook;
    if (beforeRead)
        hook = [this, path] { beforeRead(path); };
    return std::make_unique<CountedFile>(std::move(file), openFiles, faults.value(key("read", path)), hook);
}

int FaultyFileSystem::change(const QString &what, const char *operation, const common::NativePath &path)
{
    changes << what;
    return fault(operation, path);
}

int FaultyFileSystem::makeFolder(const common::NativePath &path)
{
    if (const int error = change("mkdir " + QString::fromUtf8(path), "mkdir", path))
        return error;
    return m_real->makeFolder(path);
}

int FaultyFileSystem::copyFile(const common::NativePath &source, const common::NativePath &target)
{
    if (const int error = change("copy " + QString::fromUtf8(source) + " > " + QString::fromUtf8(target), "copy", target))
        return error;
    return m_real->copyFile(source, target);
}

int FaultyFileSystem::deleteFile(const common::NativePath &path)
{
    if (const int error = change("delete " + QString::fromUtf8(path), "delete", path))
        return error;
    return m_real->deleteFile(path);
}

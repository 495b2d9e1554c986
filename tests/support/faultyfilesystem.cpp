#include "faultyfilesystem.h"

#include <algorithm>

namespace {

class CountedFile : public common::InputFile
{
public:
    CountedFile(std::unique_ptr<common::InputFile> file, int &open, qint64 failAt)
        : m_file(std::move(file)), m_open(open), m_failAt(failAt)
    {
        ++m_open;
    }
    ~CountedFile() override { --m_open; }

    qint64 read(char *buffer, qint64 max) override
    {
        if (m_failAt >= 0 && m_offset + max > m_failAt)
            return -1;
        const qint64 n = m_file->read(buffer, max);
        if (n > 0)
            m_offset += n;
        return n;
    }

private:
    std::unique_ptr<common::InputFile> m_file;
    int &m_open;
    qint64 m_failAt;
    qint64 m_offset = 0;
};

} // namespace

int FaultyFileSystem::listFolder(const common::NativePath &folder, std::vector<common::FolderEntry> &entries)
{
    if (const int error = listErrors.value(folder))
        return error;
    std::vector<common::FolderEntry> listed;
    const int result = m_real->listFolder(folder, listed);
    std::sort(listed.begin(), listed.end(), [](const auto &a, const auto &b) { return a.name < b.name; });
    for (common::FolderEntry &entry : listed) {
        if (const int error = entryErrors.value(folder + entry.name)) {
            entry.error = error;
            entry.info = {};
        }
        entries.push_back(std::move(entry));
    }
    return result;
}

int FaultyFileSystem::inspect(const common::NativePath &path, common::EntryInfo &info)
{
    if (const int error = inspectErrors.value(path))
        return error;
    return m_real->inspect(path, info);
}

std::unique_ptr<common::InputFile> FaultyFileSystem::openForReading(const common::NativePath &path, int &error)
{
    ++opens;
    if (beforeOpen)
        beforeOpen(path);
    if ((error = openErrors.value(path)))
        return nullptr;
    auto file = m_real->openForReading(path, error);
    if (!file)
        return nullptr;
    return std::make_unique<CountedFile>(std::move(file), openFiles, readFailsAt.value(path, -1));
}

int FaultyFileSystem::makeFolder(const common::NativePath &path)
{
    changes.append(QStringLiteral("mkdir ") + QString::fromUtf8(path));
    if (const int error = makeFolderErrors.value(path))
        return error;
    return m_real->makeFolder(path);
}

int FaultyFileSystem::copyFile(const common::NativePath &source, const common::NativePath &target)
{
    changes.append(QStringLiteral("copy ") + QString::fromUtf8(source) + QStringLiteral(" > ") +
                   QString::fromUtf8(target));
    if (const int error = copyErrors.value(target))
        return error;
    return m_real->copyFile(source, target);
}

int FaultyFileSystem::deleteFile(const common::NativePath &path)
{
    changes.append(QStringLiteral("delete ") + QString::fromUtf8(path));
    if (const int error = deleteErrors.value(path))
        return error;
    return m_real->deleteFile(path);
}

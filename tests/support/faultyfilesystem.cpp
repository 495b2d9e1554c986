#include "faultyfilesystem.h"

#include "names.h"


#include <algorithm>
#include <utility>

namespace {

class CountedFile : public common::InputFile
{
public:
    CountedFile(std::unique_ptr<common::InputFile> file, common::NativePath path, std::atomic<int> &open,
                qint64 failAt, std::function<void()> beforeRead)
        : path(std::move(path)), m_file(std::move(file)), m_open(open), m_failAt(failAt),
          m_beforeRead(std::move(beforeRead))
    {
        ++m_open;
    }
    ~CountedFile() override { --m_open; }
    qint64 size() const override { return m_file->size(); }
    common::EntryInfo info() const override { return m_file->info(); }
    int checkUnchanged() override { return m_file->checkUnchanged(); }
    int descriptor() const override { return m_file->descriptor(); }
    const common::NativePath path;

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

// A folder of the real file system with its path, so that faults can be keyed by path.
struct PathFolder : common::Folder
{
    PathFolder(std::unique_ptr<common::Folder> real, common::NativePath path) : real(std::move(real)), path(std::move(path)) {}
    bool isSameAs(const common::Folder &other) const override
    {
        return real->isSameAs(*static_cast<const PathFolder &>(other).real);
    }
    std::unique_ptr<common::Folder> real;
    const common::NativePath path;
};

std::unique_ptr<common::Folder> wrapped(std::unique_ptr<common::Folder> real, const common::NativePath &path)
{
    return real ? std::make_unique<PathFolder>(std::move(real), path) : nullptr;
}

} // namespace

int FaultyFileSystem::listFolder(const common::NativePath &folder, const common::NativePath &namePrefix,
                                 std::vector<common::FolderEntry> &entries)
{
    if (beforeList)
        beforeList(folder);
    QMutexLocker lock(&m_mutex);
    if (const int error = fault("list", folder))
        return error;
    std::vector<common::FolderEntry> listed;
    const int result = m_real->listFolder(folder, namePrefix, listed);
    std::sort(listed.begin(), listed.end(), [](const auto &a, const auto &b) { return a.name < b.name; });
    for (common::FolderEntry &entry : listed) {
        if (const int error = fault("entry", folder + entry.name.mid(namePrefix.size())))
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
    return opened(path, error, [&] { return m_real->openForReading(path, error); });
}

std::unique_ptr<common::InputFile> FaultyFileSystem::openForReading(common::FolderCursor *cursor,
                                                                    const common::NativePath &path, int &error)
{
    return opened(path, error, [&] { return m_real->openForReading(cursor, path, error); });
}

std::unique_ptr<common::InputFile> FaultyFileSystem::openToReadThrough(common::FolderCursor *cursor,
                                                                       const common::NativePath &path, int &error)
{
    return opened(path, error, [&] { return m_real->openToReadThrough(cursor, path, error); });
}

std::unique_ptr<common::InputFile> FaultyFileSystem::opened(
    const common::NativePath &path, int &error, const std::function<std::unique_ptr<common::InputFile>()> &open)
{
    QMutexLocker lock(&m_mutex);
    if ((error = fault("open", path)))
        return nullptr;
    std::unique_ptr<common::InputFile> file = open();
    opens += file != nullptr;
    return counted(std::move(file), path);
}

std::unique_ptr<common::InputFile> FaultyFileSystem::counted(std::unique_ptr<common::InputFile> file,
                                                             const common::NativePath &path)
{
    if (!file)
        return nullptr;
    std::function<void()> hook;
    if (beforeRead)
        hook = [this, path] { beforeRead(path); };
    return std::make_unique<CountedFile>(std::move(file), path, openFiles, faults.value(key("read", path)), hook);
}

int FaultyFileSystem::change(const QString &what, const char *operation, const common::NativePath &path)
{
    changes << what;
    return fault(operation, path);
}

std::unique_ptr<common::Folder> FaultyFileSystem::openFolder(const common::NativePath &path,
                                                             const common::EntryInfo &seen, int &error)
{
    return wrapped(m_real->openFolder(path, seen, error), common::WithTrailingBackslash(path));
}

std::unique_ptr<common::Folder> FaultyFileSystem::openSubfolder(common::Folder &parent, const common::NativePath &name,
                                                                const common::EntryInfo *seen, bool create, int &error)
{
    auto &at = static_cast<PathFolder &>(parent);
    const common::NativePath path = at.path + name;
    common::EntryInfo info;
    if (create && m_real->inspect(path, info) == common::NotFound) {
        if ((error = change("mkdir " + QString::fromUtf8(path), "mkdir", path)))
            return nullptr;
    }
    return wrapped(m_real->openSubfolder(*at.real, name, seen, create, error), path + '/');
}

std::unique_ptr<common::InputFile> FaultyFileSystem::openFile(common::Folder &folder, const common::NativePath &name,
                                                              const common::EntryInfo &seen, int &error)
{
    auto &at = static_cast<PathFolder &>(folder);
    return opened(at.path + name, error, [&] { return m_real->openFile(*at.real, name, seen, error); });
}

int FaultyFileSystem::copyInto(common::InputFile &source, common::Folder &folder, const common::NativePath &name,
                               const common::EntryInfo *seen, common::Removal removal,
                               const std::function<int()> &beforeReplace)
{
    auto &at = static_cast<PathFolder &>(folder);
    const common::NativePath target = at.path + name;
    const QString sourcePath = QString::fromUtf8(static_cast<CountedFile &>(source).path);
    if (const int error = change("copy " + sourcePath + " > " + QString::fromUtf8(target), "copy", target))
        return error;
    return m_real->copyInto(source, *at.real, name, seen, removal, beforeReplace);
}

int FaultyFileSystem::deleteIn(common::Folder &folder, const common::NativePath &name, const common::EntryInfo &seen,
                               common::Removal removal)
{
    auto &at = static_cast<PathFolder &>(folder);
    const common::NativePath path = at.path + name;
    if (const int error = change("delete " + QString::fromUtf8(path), "delete", path))
        return error;
    return m_real->deleteIn(*at.real, name, seen, removal);
}

int FaultyFileSystem::moveLeftoversToTrash(common::Folder &folder, int &moved)
{
    return m_real->moveLeftoversToTrash(*static_cast<PathFolder &>(folder).real, moved);
}

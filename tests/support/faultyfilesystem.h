#pragma once

#include "filesystem.h"

#include <QHash>
#include <QStringList>

#include <QMutex>

#include <atomic>
#include <functional>

/// Whether the tests run on the portable file system (KALMORA_TEST_FS=portable) instead of the POSIX one.
inline bool PortableFileSystemUnderTest()
{
    return qEnvironmentVariable("KALMORA_TEST_FS") == QLatin1String("portable");
}
/// For a test of what only the POSIX file system promises (names as bytes, identities, links).
#define POSIX_ONLY()                                                                                              \
    if (PortableFileSystemUnderTest())                                                                            \
    QSKIP("only the POSIX file system promises this")

/// The real file system with failures put in its way, for faults that root cannot provoke with chmod.
/// A fault is keyed "operation:path" (list, entry, inspect, open, read, mkdir, copy, delete; copy by its
/// target) and holds the error code; "read" holds the offset at which reading fails instead.
/// Listings come sorted by name, so that tests do not depend on the order of the disk. The hooks change the
/// disk between two calls, to provoke a race at a chosen moment.
class FaultyFileSystem : public common::FileSystem
{
public:
    QHash<QString, qint64> faults;
    QStringList changes; ///< "mkdir PATH", "copy SOURCE > TARGET", "delete PATH", as asked for
    /// Runs before the first read of each opened file, to change the disk under a reader.
    std::function<void(const common::NativePath &)> beforeRead;
    /// Runs before a folder is listed (on a lister's thread; a slow mount sleeps here).
    std::function<void(const common::NativePath &)> beforeList;
    std::atomic<int> openFiles{0}, opens{0}; ///< open now; opened so far

    void fail(const char *operation, const common::NativePath &path, qint64 code)
    {
        faults.insert(key(operation, path), code);
    }

    int listFolder(const common::NativePath &folder, const common::NativePath &namePrefix,
                   std::vector<common::FolderEntry> &entries) override;
    int inspect(const common::NativePath &path, common::EntryInfo &info) override;
    common::NativePath canonicalPath(const common::NativePath &path) override { return m_real->canonicalPath(path); }
    bool keepsTwoSecondTimes(const common::NativePath &) override { return twoSecondTimes; }
    bool twoSecondTimes = false; ///< as FAT would
    std::unique_ptr<common::InputFile> openForReading(const common::NativePath &path, int &error) override;
    std::unique_ptr<common::FolderCursor> newFolderCursor() override { return m_real->newFolderCursor(); }
    std::unique_ptr<common::InputFile> openForReading(common::FolderCursor *cursor, const common::NativePath &path,
                                                      int &error) override;
    std::unique_ptr<common::InputFile> openToReadThrough(common::FolderCursor *cursor, const common::NativePath &path,
                                                         int &error) override;
    std::unique_ptr<common::Folder> openFolder(const common::NativePath &path, const common::EntryInfo &seen,
                                               int &error) override;
    std::unique_ptr<common::Folder> openSubfolder(common::Folder &parent, const common::NativePath &name,
                                                  const common::EntryInfo *seen, bool create, int &error) override;
    std::unique_ptr<common::InputFile> openFile(common::Folder &folder, const common::NativePath &name,
                                                const common::EntryInfo &seen, int &error) override;
    int copyInto(common::InputFile &source, common::Folder &folder, const common::NativePath &name,
                 const common::EntryInfo *seen, common::Removal removal,
                 const std::function<int()> &beforeReplace = {}) override;
    int deleteIn(common::Folder &folder, const common::NativePath &name, const common::EntryInfo &seen,
                 common::Removal removal) override;
    int moveLeftoversToTrash(common::Folder &folder, int &moved) override;

private:
    static QString key(const char *operation, const common::NativePath &path)
    {
        return QLatin1String(operation) + u':' + QString::fromUtf8(path);
    }
    int fault(const char *operation, const common::NativePath &path) const { return int(faults.value(key(operation, path))); }
    int change(const QString &what, const char *operation, const common::NativePath &path);
    std::unique_ptr<common::InputFile> counted(std::unique_ptr<common::InputFile> file, const common::NativePath &path);
    std::unique_ptr<common::InputFile> opened(const common::NativePath &path, int &error,
                                              const std::function<std::unique_ptr<common::InputFile>()> &open);

    std::unique_ptr<common::FileSystem> m_real = PortableFileSystemUnderTest() ? common::createPortableFileSystem()
                                                                               : common::createRealFileSystem();
    QMutex m_mutex; // the comparison reads files on worker threads
};

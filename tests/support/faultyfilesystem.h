#pragma once

#include "filesystem.h"

#include <QHash>
#include <QSet>
#include <QStringList>

#include <functional>

/// The real file system with failures put in its way, for faults that root cannot provoke with chmod.
/// Listings come sorted by name, so that tests do not depend on the order of the disk.
class FaultyFileSystem : public common::FileSystem
{
public:
    QHash<common::NativePath, int> listErrors;     ///< folder path (with separator) -> error of its listing
    QHash<common::NativePath, int> entryErrors;    ///< full path -> error of its inspection in a listing
    QHash<common::NativePath, int> inspectErrors;  ///< full path -> error of inspect()
    QHash<common::NativePath, int> openErrors;     ///< full path -> error of openForReading()
    QHash<common::NativePath, qint64> readFailsAt; ///< full path -> offset at which reading fails
    QHash<common::NativePath, int> makeFolderErrors;
    QHash<common::NativePath, int> copyErrors;   ///< target path -> error of a copy to it
    QHash<common::NativePath, int> deleteErrors;
    QStringList changes; ///< "mkdir PATH", "copy SOURCE > TARGET", "delete PATH" for every change asked for
    std::function<void(const common::NativePath &)> beforeOpen; ///< runs before each open, to change the disk
    int openFiles = 0; ///< files opened and not yet closed
    int opens = 0;

    int listFolder(const common::NativePath &folder, std::vector<common::FolderEntry> &entries) override;
    int inspect(const common::NativePath &path, common::EntryInfo &info) override;
    std::unique_ptr<common::InputFile> openForReading(const common::NativePath &path, int &error) override;
    int makeFolder(const common::NativePath &path) override;
    int copyFile(const common::NativePath &source, const common::NativePath &target) override;
    int deleteFile(const common::NativePath &path) override;

private:
    std::unique_ptr<common::FileSystem> m_real = common::createRealFileSystem();
};

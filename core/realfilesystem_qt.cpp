#include "filesystem.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

// Portable implementation for platforms whose file names are Unicode (Windows): the native path is the
// UTF-8 form of the name, which round-trips without loss there.
namespace common {
namespace {

EntryInfo infoOf(const QFileInfo &fi)
{
    EntryInfo info;
    info.kind = fi.isDir() ? EntryKind::Folder : fi.isFile() ? EntryKind::File : EntryKind::Other;
    info.modified = fi.lastModified().toSecsSinceEpoch();
    info.size = fi.size();
    if (info.kind == EntryKind::Folder) {
        // No inode here: the canonical path identifies a folder for the link-loop guard.
        info.device = 1;
        info.inode = qHash(fi.canonicalFilePath());
    }
    return info;
}

class QtInputFile : public InputFile
{
public:
    explicit QtInputFile(std::unique_ptr<QFile> file) : m_file(std::move(file)) {}
    qint64 read(char *buffer, qint64 max) override { return m_file->read(buffer, max); }
    qint64 size() const override { return m_file->size(); }

private:
    std::unique_ptr<QFile> m_file;
};

class QtFileSystem : public FileSystem
{
public:
    int listFolder(const NativePath &folder, std::vector<FolderEntry> &entries) override
    {
        QDir dir(QString::fromUtf8(folder));
        if (!dir.exists() || !dir.isReadable())
            return dir.exists() ? 5 : NotFound;
        const auto list = dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                            QDir::Unsorted);
        for (const QFileInfo &fi : list) {
            if (!fi.exists())
                continue;
            FolderEntry entry;
            entry.name = fi.fileName().toUtf8();
            entry.info = infoOf(fi);
            entries.push_back(std::move(entry));
        }
        return 0;
    }

    int inspect(const NativePath &path, EntryInfo &info) override
    {
        const QFileInfo fi(QString::fromUtf8(path));
        if (!fi.exists())
            return NotFound;
        info = infoOf(fi);
        return 0;
    }

    std::unique_ptr<InputFile> openForReading(const NativePath &path, int &error) override
    {
        auto file = std::make_unique<QFile>(QString::fromUtf8(path));
        if (!QFileInfo(*file).isFile() || !file->open(QIODevice::ReadOnly)) {
            error = file->exists() ? 5 : NotFound;
            return nullptr;
        }
        error = 0;
        return std::make_unique<QtInputFile>(std::move(file));
    }

    int makeFolder(const NativePath &path) override { return QDir().mkdir(QString::fromUtf8(path)) ? 0 : 5; }

    int copyFile(const NativePath &source, const NativePath &target) override
    {
        const QFileInfo sourceInfo(QString::fromUtf8(source));
        const QFileInfo targetInfo(QString::fromUtf8(target));
        if (!sourceInfo.isFile())
            return sourceInfo.exists() ? 5 : NotFound;
        if (targetInfo.exists() && targetInfo.canonicalFilePath() == sourceInfo.canonicalFilePath())
            return 0;
        QFile in(sourceInfo.filePath());
        QSaveFile out(targetInfo.filePath()); // writes beside the target and replaces it only on commit
        if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
            return 5;
        QByteArray buffer(262144, Qt::Uninitialized);
        for (qint64 n; (n = in.read(buffer.data(), buffer.size())) != 0;) {
            if (n < 0 || out.write(buffer.constData(), n) != n) {
                out.cancelWriting();
                return 5;
            }
        }
        if (!out.commit())
            return 5;
        QFile copied(targetInfo.filePath());
        if (!copied.open(QIODevice::ReadWrite) ||
            !copied.setFileTime(sourceInfo.lastModified(), QFileDevice::FileModificationTime))
            return 5;
        return 0;
    }

    int deleteFile(const NativePath &path) override
    {
        const QFileInfo info(QString::fromUtf8(path));
        if (info.isDir() && !info.isSymLink())
            return 5;
        return QFile::remove(info.filePath()) ? 0 : (info.exists() || info.isSymLink() ? 5 : NotFound);
    }
};

} // namespace

std::unique_ptr<FileSystem> createRealFileSystem()
{
    return std::make_unique<QtFileSystem>();
}

} // namespace common

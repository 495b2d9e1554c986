#include "filesystem.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

// Portable implementation for platforms whose file names are Unicode (Windows): the native path is the
// UTF-8 form of the name, which round-trips without loss there.
namespace common {
namespace {

EntryInfo infoOf(const QFileInfo &fi)
{
    EntryInfo info;
    info.kind = fi.isDir() ? EntryKind::Folder : fi.isFile() ? EntryKind::File : EntryKind::Other;
    const qint64 ms = fi.lastModified().toMSecsSinceEpoch();
    info.modified = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
    info.modifiedNs = quint32((ms - info.modified * 1000) * 1000000);
    info.size = fi.size();
    info.link = fi.isSymLink();
    if (const QDateTime changed = fi.metadataChangeTime(); changed.isValid())
        info.changeTag = ChangeTag(changed.toMSecsSinceEpoch(), 0);
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
    explicit QtInputFile(std::unique_ptr<QFile> file) : m_file(std::move(file)), m_info(infoOf(QFileInfo(*m_file))) {}
    qint64 read(char *buffer, qint64 max) override { return m_file->read(buffer, max); }
    qint64 size() const override { return m_file->size(); }
    EntryInfo info() const override { return m_info; }
    int checkUnchanged() override
    {
        const EntryInfo now = infoOf(QFileInfo(m_file->fileName()));
        return now.size == m_info.size && now.modified == m_info.modified && now.modifiedNs == m_info.modifiedNs
                   ? 0
                   : SourceChangedWhileRead;
    }

private:
    std::unique_ptr<QFile> m_file;
    EntryInfo m_info;
};

// Without descriptors for folders, a folder is its path; each step checks the path again before it acts.
struct QtFolder : Folder
{
    explicit QtFolder(QString path) : path(std::move(path)) {}
    QString entry(const NativePath &name) const { return path + u'/' + QString::fromUtf8(name); }
    bool isSameAs(const Folder &other) const override
    {
        const QString canonical = QFileInfo(path).canonicalFilePath();
        return !canonical.isEmpty() && canonical == QFileInfo(static_cast<const QtFolder &>(other).path).canonicalFilePath();
    }
    const QString path;
};

// The cause of a failed call: what the file reports, else errno where the C library below set it (cleared
// before the call), else a general input/output error.
int failure(const QFileDevice *file = nullptr)
{
    if (file && file->error() == QFileDevice::PermissionsError)
        return EACCES;
    if (file && file->error() == QFileDevice::ResourceError)
        return ENOSPC;
    return errno > 0 ? errno : EIO;
}

// Why an entry cannot be taken as it is: missing, unreadable, or there but not what was asked for (no call
// failed, so errno says nothing here).
int errorOf(const QFileInfo &fi)
{
    return fi.exists() || fi.isSymLink() ? (fi.isReadable() ? EIO : EACCES) : NotFound;
}

// 0 when the target is what a step may act on: the file seen, or nothing where none was seen.
int checkTarget(const QFileInfo &target, const EntryInfo *seen)
{
    if (!target.exists() && !target.isSymLink())
        return 0;
    if (!seen)
        return FileAppeared;
    return SameEntry(infoOf(target), *seen, false) ? 0 : FileChanged;
}

class QtFileSystem : public FileSystem
{
public:
    int listFolder(const NativePath &folder, const NativePath &namePrefix,
                   std::vector<FolderEntry> &entries) override
    {
        QDir dir(QString::fromUtf8(folder));
        if (!dir.exists() || !dir.isReadable())
            return dir.exists() ? EACCES : NotFound;
        const auto list = dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                            QDir::Unsorted);
        for (const QFileInfo &fi : list) {
            if (!fi.exists())
                continue;
            FolderEntry entry;
            entry.name = namePrefix + fi.fileName().toUtf8();
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

    NativePath canonicalPath(const NativePath &path) override
    {
        return QFileInfo(QString::fromUtf8(path)).canonicalFilePath().toUtf8();
    }

    std::unique_ptr<InputFile> openForReading(const NativePath &path, int &error) override
    {
        auto file = std::make_unique<QFile>(QString::fromUtf8(path));
        errno = 0;
        if (!QFileInfo(*file).isFile()) {
            error = file->exists() ? EINVAL : NotFound; // a folder, a FIFO or a device: never read
            return nullptr;
        }
        if (!file->open(QIODevice::ReadOnly)) {
            error = file->exists() ? failure(file.get()) : NotFound;
            return nullptr;
        }
        error = 0;
        return std::make_unique<QtInputFile>(std::move(file));
    }

    std::unique_ptr<Folder> openFolder(const NativePath &path, const EntryInfo &seen, int &error) override
    {
        const QFileInfo fi(QString::fromUtf8(path));
        EntryInfo now = infoOf(fi);
        now.link = false; // a loaded folder may be reached through a link
        error = !fi.isDir() ? errorOf(fi) : SameEntry(now, seen, true) ? 0 : FolderChanged;
        return error ? nullptr : std::make_unique<QtFolder>(fi.absoluteFilePath());
    }

    std::unique_ptr<Folder> openSubfolder(Folder &parent, const NativePath &name, const EntryInfo *seen, bool create,
                                          int &error) override
    {
        const QString path = static_cast<QtFolder &>(parent).entry(name);
        QFileInfo fi(path);
        if (!fi.exists() && !fi.isSymLink() && create && !seen) { // a seen folder that is gone is not made again
            errno = 0;
            if (!QDir().mkdir(path)) {
                error = failure();
                return nullptr;
            }
            seen = nullptr;
            fi.refresh();
        }
        const EntryInfo now = infoOf(fi);
        error = !fi.isDir()                           ? (fi.exists() || seen ? FolderChanged : errorOf(fi))
                : now.link && !(seen && seen->link)   ? FolderChanged
                : seen && !SameEntry(now, *seen, true) ? FolderChanged
                                                       : 0;
        return error ? nullptr : std::make_unique<QtFolder>(path);
    }

    std::unique_ptr<InputFile> openFile(Folder &folder, const NativePath &name, const EntryInfo &seen,
                                        int &error) override
    {
        const QFileInfo fi(static_cast<QtFolder &>(folder).entry(name));
        if (!fi.isFile()) {
            error = fi.exists() ? FileChanged : errorOf(fi);
            return nullptr;
        }
        if (!SameEntry(infoOf(fi), seen, false)) {
            error = FileChanged;
            return nullptr;
        }
        return openForReading(fi.filePath().toUtf8(), error);
    }

    int copyInto(InputFile &source, Folder &folder, const NativePath &name, const EntryInfo *seen, Removal removal,
                 const std::function<int()> &beforeReplace) override
    {
        const QFileInfo target(static_cast<QtFolder &>(folder).entry(name));
        if (const int error = checkTarget(target, seen))
            return error;
        QSaveFile out(target.filePath()); // writes beside the target and replaces it only on commit
        errno = 0;
        if (!out.open(QIODevice::WriteOnly))
            return failure(&out);
        QByteArray buffer(262144, Qt::Uninitialized);
        qint64 copied = 0;
        for (qint64 n; (n = source.read(buffer.data(), buffer.size())) != 0; copied += n) {
            if (n < 0) {
                out.cancelWriting();
                return EIO;
            }
            if (out.write(buffer.constData(), n) != n) {
                const int error = failure(&out);
                out.cancelWriting();
                return error;
            }
        }
        const EntryInfo from = source.info();
        int error = copied != from.size ? SourceChangedWhileRead : source.checkUnchanged();
        // The time is set on the temporary file once every byte is written to it (a write after it would
        // stamp it anew), so that a failure leaves the old target as it was.
        const QDateTime modified =
            QDateTime::fromMSecsSinceEpoch(from.modified * 1000 + from.modifiedNs / 1000000, Qt::UTC);
        errno = 0;
        if (!error && (!out.flush() || !out.setFileTime(modified, QFileDevice::FileModificationTime)))
            error = failure(&out);
        if (!error)
            error = beforeReplace ? beforeReplace() : 0;
        if (!error)
            error = checkTarget(QFileInfo(target.filePath()), seen);
        if (!error && removal == Removal::ToTrash && QFileInfo::exists(target.filePath()))
            error = moveToTrash(target.filePath(), *seen);
        if (!error && !out.commit())
            error = failure(&out); // the old file stays in the trash
        if (error)
            out.cancelWriting();
        return error;
    }

    int deleteIn(Folder &folder, const NativePath &name, const EntryInfo &seen, Removal removal) override
    {
        const QFileInfo fi(static_cast<QtFolder &>(folder).entry(name));
        if (!fi.exists() && !fi.isSymLink())
            return NotFound;
        if (!SameEntry(infoOf(fi), seen, false))
            return FileChanged;
        if (removal == Removal::ToTrash)
            return moveToTrash(fi.filePath(), seen);
        QFile file(fi.filePath());
        errno = 0;
        return file.remove() ? 0 : failure(&file);
    }

private:
    // Moves the file at path into the system's trash (the recycle bin on Windows), and back again where what
    // was moved is not the file seen. Qt moves only by renaming: where that is impossible, the file stays.
    static int moveToTrash(const QString &path, const EntryInfo &seen)
    {
        QString inTrash;
        if (!QFile::moveToTrash(path, &inTrash))
            return QFileInfo::exists(path) ? NoTrash : NotFound;
        if (SameMovedEntry(infoOf(QFileInfo(inTrash)), seen, false))
            return 0;
        QFile::rename(inTrash, path); // refused where the name was taken meanwhile: then it stays in the trash
        return FileChanged;
    }
};

} // namespace

std::unique_ptr<FileSystem> createPortableFileSystem()
{
    return std::make_unique<QtFileSystem>();
}

#ifndef Q_OS_UNIX
std::unique_ptr<FileSystem> createRealFileSystem()
{
    return createPortableFileSystem();
}
#endif

} // namespace common

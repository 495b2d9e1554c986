// Reading on POSIX: listings, looks at entries, and files opened for reading.

#include "posixfilesystem.h"

#include <QList>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace common {
namespace posix {

namespace {

class PosixInputFile : public InputFile
{
public:
    /// A regular file, as it was when it was opened.
    PosixInputFile(int fd, const struct stat &st) : m_fd(fd), m_info(infoOf(st)) {}
    ~PosixInputFile() override { ::close(m_fd); }

    qint64 size() const override { return m_info.size; }
    EntryInfo info() const override { return m_info; }

    qint64 read(char *buffer, qint64 max) override
    {
#ifdef POSIX_FADV_SEQUENTIAL
        // Worth a call only for a file read in large blocks.
        if (m_first && max >= 262144)
            ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        m_first = false;
#endif
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, size_t(max));
            if (n >= 0)
                return n;
            // Opened without waiting (by openLookedAt). A regular file on a file system that honours that for
            // reads gets a blocking descriptor now, a system call saved for every file that never needs it;
            // a FIFO put in the file's place is not waited for.
            if (errno == EAGAIN && (::fcntl(m_fd, F_GETFL) & O_NONBLOCK) != 0) {
                struct stat st;
                if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
                    errno = EINVAL;
                    return -1;
                }
                ::fcntl(m_fd, F_SETFL, 0);
                continue;
            }
            if (errno != EINTR)
                return n;
        }
    }

    int descriptor() const override { return m_fd; }

    int checkUnchanged() override
    {
        struct stat st;
        if (::fstat(m_fd, &st) != 0)
            return errno;
        const EntryInfo &seen = m_info, now = infoOf(st);
        return now.size == seen.size && now.modified == seen.modified && now.modifiedNs == seen.modifiedNs
                   ? 0
                   : SourceChangedWhileRead;
    }

private:
    int m_fd;
    const EntryInfo m_info;
    bool m_first = true;
};

struct PosixFolderCursor : FolderCursor
{
    ~PosixFolderCursor() override
    {
        if (fd >= 0)
            ::close(fd);
    }
    QByteArray folder;
    int fd = -1;
};

} // namespace

EntryInfo infoOf(const struct stat &st)
{
    EntryInfo info;
    info.kind = S_ISREG(st.st_mode)   ? EntryKind::File
                : S_ISDIR(st.st_mode) ? EntryKind::Folder
                                      : EntryKind::Other;
    info.modified = st.st_mtim.tv_sec;
    info.modifiedNs = quint32(st.st_mtim.tv_nsec);
    info.size = st.st_size;
    info.device = st.st_dev;
    info.inode = st.st_ino;
    info.permissions = st.st_mode & 07777;
    info.owner = st.st_uid;
    info.group = st.st_gid;
    info.changeTag = ChangeTag(st.st_ctim.tv_sec, quint32(st.st_ctim.tv_nsec));
    return info;
}

quint64 bornOf(int folder, const char *name)
{
    struct statx st;
    if (::statx(folder, name, *name ? 0 : AT_EMPTY_PATH, STATX_BTIME, &st) != 0 || !(st.stx_mask & STATX_BTIME))
        return 0;
    return quint64(st.stx_btime.tv_sec) * 1000000000u + st.stx_btime.tv_nsec;
}

// Network file systems served in user space (sshfs without use_ino) and SMB mounts without server inode
// numbers make inode numbers up on the client: the same file may show another one tomorrow.
bool keepsInodes(int fd)
{
    struct statfs fs;
    if (::fstatfs(fd, &fs) != 0)
        return true;
    switch (quint32(fs.f_type)) {
    case 0x65735546: // FUSE
    case 0xFF534D42: // CIFS
    case 0xFE534D42: // SMB2
        return false;
    default: return true;
    }
}

namespace {

// The error for an entry that is no regular file.
int notRegular(const struct stat &st)
{
    return S_ISREG(st.st_mode) ? 0 : S_ISLNK(st.st_mode) ? ELOOP : EINVAL;
}

// Opens path by name where it is the regular file st, and checks that what opened is that file. A FIFO put
// in its place in between would be opened without waiting, and refused.
int openCheckedByName(int folder, const char *path, int flags, const struct stat &st)
{
    const int fd = ::openat(folder, path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | flags);
    struct stat now;
    if (fd >= 0 && (::fstat(fd, &now) != 0 || now.st_dev != st.st_dev || now.st_ino != st.st_ino)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    if (fd >= 0)
        ::fcntl(fd, F_SETFL, 0); // reads of a regular file wait for the disk as usual
    return fd;
}

// The entry at, opened for reading: through /proc, so that it is the file looked at; without /proc, by name
// after one more look.
int reopenForReading(int at, int folder, const char *path, int flags, const struct stat &st)
{
    char proc[32];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", at);
    const int fd = ::open(proc, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd >= 0 || errno != ENOENT)
        return fd;
    struct stat now;
    if (::fstatat(folder, path, &now, (flags & O_NOFOLLOW) ? AT_SYMLINK_NOFOLLOW : 0) != 0)
        return -1;
    if (notRegular(now) != 0 || now.st_dev != st.st_dev || now.st_ino != st.st_ino) {
        errno = EINVAL;
        return -1;
    }
    return openCheckedByName(folder, path, flags, st);
}

} // namespace

std::unique_ptr<InputFile> openLookedAt(int folder, const char *path, int &error)
{
    struct stat st;
    if (::fstatat(folder, path, &st, 0) != 0) {
        error = errno;
        return nullptr;
    }
    // What opens is not looked at again: a regular file put in its place reads as another content (and a
    // step checks the identity of what it acts on itself); anything else does not read as a regular file.
    const int fd = (error = notRegular(st)) ? -1 : ::openat(folder, path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (!error && fd < 0)
        error = errno;
    return fd < 0 ? nullptr : std::make_unique<PosixInputFile>(fd, st);
}

std::unique_ptr<InputFile> openRegular(int folder, const char *path, int flags, int &error)
{
    // A descriptor that reads nothing first: opening a FIFO for reading would let a writer that waits on it
    // go on (and its data be lost), and a device may act on an open.
    const int at = ::openat(folder, path, O_PATH | O_CLOEXEC | flags);
    if (at < 0) {
        error = errno;
        return nullptr;
    }
    struct stat st;
    error = ::fstat(at, &st) != 0 ? errno : notRegular(st);
    const int fd = error ? -1 : reopenForReading(at, folder, path, flags, st);
    if (!error && fd < 0)
        error = errno;
    ::close(at);
    return fd < 0 ? nullptr : std::make_unique<PosixInputFile>(fd, st);
}

int PosixFileSystem::listFolder(const NativePath &folder, const NativePath &namePrefix,
                                std::vector<FolderEntry> &entries)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    // The whole listing first, so that the entries are counted and their vector never grows: a
    // listing is read in as few calls as the buffer allows, into a buffer each lister thread keeps.
    thread_local std::vector<char> listing(64 * 1024);
    size_t filled = 0;
    int result = 0;
    for (;;) {
        if (listing.size() - filled < 32 * 1024)
            listing.resize(listing.size() * 2);
        const ssize_t got = ::getdents64(fd, listing.data() + filled, listing.size() - filled);
        if (got <= 0) {
            result = got < 0 ? errno : 0;
            break;
        }
        filled += size_t(got);
    }
    const auto each = [&](auto &&take) {
        for (size_t at = 0; at < filled;) {
            const auto *d = reinterpret_cast<const dirent64 *>(listing.data() + at);
            at += d->d_reclen;
            const char *name = d->d_name;
            if (!(name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))))
                take(name, d->d_type);
        }
    };
    size_t count = 0;
    each([&](const char *, unsigned char) { ++count; });
    entries.reserve(entries.size() + count);
    each([&](const char *name, unsigned char type) {
        FolderEntry entry;
        const size_t length = std::strlen(name);
        entry.name.reserve(namePrefix.size() + qsizetype(length));
        entry.name.append(namePrefix).append(name, qsizetype(length));
        // Inspected relative to the open folder: one call per entry, no path walk.
        struct stat st;
        if (::fstatat(fd, name, &st, 0) == 0) {
            entry.info = infoOf(st);
            if (entry.info.kind == EntryKind::Folder)
                entry.info.born = bornOf(fd, name);
            entry.info.link = type == DT_LNK ||
                              (type == DT_UNKNOWN && ::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                               S_ISLNK(st.st_mode));
        } else {
            entry.error = errno;
            // A name that has gone since the listing is no error; a link whose target is missing is.
            if (entry.error == ENOENT && ::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                return;
        }
        entries.push_back(std::move(entry));
    });
    ::close(fd);
    return result;
}

int PosixFileSystem::inspect(const NativePath &path, EntryInfo &info)
{
    struct stat st;
    if (::stat(path.constData(), &st) != 0)
        return errno;
    info = infoOf(st);
    if (info.kind == EntryKind::Folder)
        info.born = bornOf(AT_FDCWD, path.constData());
    return 0;
}

NativePath PosixFileSystem::canonicalPath(const NativePath &path)
{
    char *resolved = ::realpath(path.constData(), nullptr);
    const NativePath result(resolved);
    std::free(resolved);
    return result;
}

bool PosixFileSystem::keepsTwoSecondTimes(const NativePath &folder)
{
    const NativePath path = canonicalPath(folder);
    FILE *table = path.isEmpty() ? nullptr : std::fopen("/proc/self/mountinfo", "re");
    if (!table)
        return false;
    // The mount that holds the folder is the one with the longest mount point on its way.
    QByteArray type;
    qsizetype longest = -1;
    char *line = nullptr;
    size_t size = 0;
    while (::getline(&line, &size, table) > 0) {
        const QList<QByteArray> fields = QByteArray(line).trimmed().split(' ');
        const qsizetype dash = fields.indexOf("-");
        if (fields.size() < 5 || dash < 0 || dash + 1 >= fields.size())
            continue;
        QByteArray point = fields[4]; // blanks and the like come as octal escapes
        for (qsizetype at = 0; (at = point.indexOf('\\', at)) >= 0 && at + 3 < point.size(); ++at)
            point.replace(at, 4, QByteArray(1, char(point.mid(at + 1, 3).toInt(nullptr, 8))));
        const bool holds = point == "/" || path == point || path.startsWith(point + '/');
        if (holds && point.size() > longest) {
            longest = point.size();
            type = fields[dash + 1];
        }
    }
    std::free(line);
    std::fclose(table);
    return type == "vfat" || type == "msdos" || type == "fuse.fusefat" || type == "fuseblk.fusefat";
}

std::unique_ptr<InputFile> PosixFileSystem::openForReading(const NativePath &path, int &error)
{
    return openRegular(AT_FDCWD, path.constData(), 0, error);
}

// The folder to open path's file in, and the name to open there. Only the file's own name is looked up
// in a folder the cursor holds open already: a path walk per file is most of the cost of comparing
// small files.
const char *PosixFileSystem::reach(FolderCursor *cursor, const NativePath &path, int &folder)
{
    auto *at = static_cast<PosixFolderCursor *>(cursor);
    const int slash = path.lastIndexOf('/');
    folder = AT_FDCWD;
    if (!at || slash <= 0)
        return path.constData();
    if (at->folder.size() != slash || !path.startsWith(at->folder)) {
        if (at->fd >= 0)
            ::close(at->fd);
        at->folder = path.left(slash);
        at->fd = ::open(at->folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    }
    if (at->fd < 0)
        return path.constData();
    folder = at->fd;
    return path.constData() + slash + 1;
}

std::unique_ptr<FolderCursor> PosixFileSystem::newFolderCursor() { return std::make_unique<PosixFolderCursor>(); }

std::unique_ptr<InputFile> PosixFileSystem::openForReading(FolderCursor *cursor, const NativePath &path, int &error)
{
    int folder;
    const char *name = reach(cursor, path, folder);
    return openLookedAt(folder, name, error);
}

} // namespace posix

std::unique_ptr<FileSystem> createRealFileSystem()
{
    return std::make_unique<posix::PosixFileSystem>();
}

} // namespace common

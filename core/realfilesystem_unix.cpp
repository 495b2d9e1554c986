#include "filesystem.h"

#include <QtGlobal>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace common {
namespace {

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
    return info;
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

class PosixInputFile : public InputFile
{
public:
    /// A file looked at when it was opened.
    PosixInputFile(int fd, const struct stat &st) : m_fd(fd), m_info(infoOf(st)), m_looked(true) {}
    /// A file looked at only when its size or kind is asked for (or a read would wait): opened to be read
    /// through by a caller that knows its size.
    explicit PosixInputFile(int fd) : m_fd(fd) {}
    ~PosixInputFile() override { ::close(m_fd); }

    qint64 size() const override { return info().kind == EntryKind::File ? m_info.size : -1; }
    EntryInfo info() const override
    {
        if (!m_looked) {
            struct stat st;
            if (::fstat(m_fd, &st) == 0)
                m_info = infoOf(st);
            m_looked = true;
        }
        return m_info;
    }

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
            // Opened without waiting. A regular file on a file system that honours that for reads gets a
            // blocking descriptor now (a system call saved for every file that never needs it); anything
            // else, say a FIFO put in a file's place, is not waited for.
            if (errno == EAGAIN && (::fcntl(m_fd, F_GETFL) & O_NONBLOCK) != 0) {
                if (info().kind != EntryKind::File) {
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

    int checkUnchanged() override
    {
        struct stat st;
        if (::fstat(m_fd, &st) != 0)
            return errno;
        const EntryInfo seen = info(), now = infoOf(st);
        return now.size == seen.size && now.modified == seen.modified && now.modifiedNs == seen.modifiedNs
                   ? 0
                   : SourceChangedWhileRead;
    }

private:
    int m_fd;
    mutable EntryInfo m_info;
    mutable bool m_looked = false;
    bool m_first = true;
};

// Writes all of buffer, across short writes and interruptions.
bool writeAll(int fd, const char *buffer, size_t count)
{
    while (count > 0) {
        const ssize_t n = ::write(fd, buffer, count);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        buffer += n;
        count -= size_t(n);
    }
    return true;
}

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

// Opens a file for reading without waiting (a FIFO never blocks the open).
int openWithoutWaiting(int folder, const char *path, int flags)
{
    return ::openat(folder, path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | flags);
}

// Opens a regular file for reading; anything else is refused.
std::unique_ptr<InputFile> openRegular(int folder, const char *path, int flags, int &error)
{
    const int fd = openWithoutWaiting(folder, path, flags);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    struct stat st;
    error = ::fstat(fd, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : EINVAL;
    if (error) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<PosixInputFile>(fd, st);
}

struct PosixFolder : Folder
{
    PosixFolder(int fd, quint64 device, bool inodesKept) : fd(fd), device(device), inodesKept(inodesKept) {}
    ~PosixFolder() override { ::close(fd); }
    const int fd;
    const quint64 device;
    const bool inodesKept;
};

// Whether the file system holding an entry of folder keeps its inode numbers: the folder's own, unless a
// link leads to another device.
bool inodesKeptFor(const PosixFolder &folder, const char *name, quint64 device)
{
    if (device == folder.device)
        return folder.inodesKept;
    const int fd = ::openat(folder.fd, name, O_PATH | O_CLOEXEC);
    const bool kept = fd < 0 || keepsInodes(fd);
    if (fd >= 0)
        ::close(fd);
    return kept;
}

// The entry name of folder as it stands: link or not, and what it leads to (a dangling link is Other).
int inspectAt(int folder, const char *name, EntryInfo &info)
{
    struct stat st;
    if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (!S_ISLNK(st.st_mode)) {
        info = infoOf(st);
        return 0;
    }
    info = ::fstatat(folder, name, &st, 0) == 0 ? infoOf(st) : EntryInfo();
    info.link = true;
    return 0;
}

// Whether the entry name of folder, as it stands now, is still the one seen.
bool stillSeen(const PosixFolder &folder, const char *name, const EntryInfo &now, const EntryInfo &seen)
{
    return SameEntry(now, seen, inodesKeptFor(folder, name, now.device));
}

// 0 when the target name of folder is what a step may act on: the file seen, or nothing where none was seen
// (a seen file that has gone since is no obstacle to a copy either). now receives what stands there.
int checkTarget(const PosixFolder &folder, const char *name, const EntryInfo *seen, EntryInfo &now, bool &exists)
{
    const int error = inspectAt(folder.fd, name, now);
    exists = error == 0;
    if (error)
        return error == ENOENT ? 0 : error;
    if (!seen)
        return now.kind == EntryKind::Folder && !now.link ? EISDIR : FileAppeared;
    return stillSeen(folder, name, now, *seen) ? 0 : FileChanged;
}

// A file the user may not write is protected: it is neither replaced nor deleted, although its folder
// would allow either. A link has no protection of its own.
int writeProtection(int folder, const char *name, const EntryInfo &now)
{
    return now.link || ::faccessat(folder, name, W_OK, AT_EACCESS) == 0 ? 0 : errno;
}

// The temporary file of the copy under way, for a signal that ends the program to remove first. Only the
// synchronisation copies, and it runs on one thread.
struct PendingTemporary
{
    volatile sig_atomic_t armed = 0;
    int folder = -1;
    char name[64] = {};
};
PendingTemporary pendingTemporary;
constexpr int EndingSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previousActions[3];

void removeTemporaryAndEnd(int signal)
{
    if (pendingTemporary.armed)
        ::unlinkat(pendingTemporary.folder, pendingTemporary.name, 0);
    for (int i = 0; i < 3; ++i) {
        if (EndingSignals[i] == signal)
            ::sigaction(signal, &previousActions[i], nullptr);
    }
    ::raise(signal); // delivered with the previous action as soon as this handler returns
}

// Checked before every copy rather than once, so that the handler is in place whoever changed the
// actions since.
void installSignalCleanup()
{
    for (int i = 0; i < 3; ++i) {
        struct sigaction current;
        ::sigaction(EndingSignals[i], nullptr, &current);
        if (current.sa_handler == removeTemporaryAndEnd || current.sa_handler == SIG_IGN)
            continue; // a signal the program ignores ends nothing
        previousActions[i] = current;
        struct sigaction action = {};
        action.sa_handler = removeTemporaryAndEnd;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(EndingSignals[i], &action, nullptr);
    }
}

// A temporary file beside the target, removed again unless it has taken the target's name.
class TemporaryFile
{
public:
    explicit TemporaryFile(int folder) : m_folder(folder) { installSignalCleanup(); }
    ~TemporaryFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (pendingTemporary.armed) {
            ::unlinkat(m_folder, pendingTemporary.name, 0);
            pendingTemporary.armed = 0;
        }
    }

    int create()
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            quint64 random = 0;
            if (::getrandom(&random, sizeof random, 0) != sizeof random)
                random = quint64(::getpid()) << 32 ^ quint64(attempt) ^ quint64(::time(nullptr));
            // Named and armed before it exists, so that no moment is left in which a signal would leave it.
            pendingTemporary.folder = m_folder;
            std::snprintf(pendingTemporary.name, sizeof pendingTemporary.name, "%s%016llx", TemporaryPrefix,
                          static_cast<unsigned long long>(random));
            pendingTemporary.armed = 1;
            m_fd = ::openat(m_folder, pendingTemporary.name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (m_fd >= 0)
                return 0;
            pendingTemporary.armed = 0;
            if (errno != EEXIST)
                return errno;
        }
        return EEXIST;
    }
    int fd() const { return m_fd; }
    const char *name() const { return pendingTemporary.name; }
    int close()
    {
        const int result = ::close(m_fd) == 0 ? 0 : errno;
        m_fd = -1;
        return result;
    }
    /// The file has taken its place: nothing is left to remove.
    void taken() { pendingTemporary.armed = 0; }

private:
    int m_folder;
    int m_fd = -1;
};

// Copies the source into the open target and gives it the source's permissions and modification time.
int copyContent(InputFile &source, int target)
{
    std::vector<char> buffer(262144);
    qint64 copied = 0;
    for (;;) {
        errno = 0;
        const qint64 n = source.read(buffer.data(), qint64(buffer.size()));
        if (n == 0)
            break;
        if (n < 0)
            return errno ? errno : EIO;
        if (!writeAll(target, buffer.data(), size_t(n)))
            return errno;
        copied += n;
    }
    const EntryInfo info = source.info();
    if (copied != info.size)
        return SourceChangedWhileRead;
    if (const int error = source.checkUnchanged())
        return error;
    const struct timespec times[2] = {{0, UTIME_OMIT}, {time_t(info.modified), long(info.modifiedNs)}};
    if (::fchmod(target, mode_t(info.permissions)) != 0 || ::futimens(target, times) != 0)
        return errno;
    // On disk before it takes the old file's place, so that not even a power cut leaves a torn target.
    if (::fdatasync(target) != 0)
        return errno;
    return 0;
}

// Gives the temporary file the name, where no file of that name may stand.
int renameNoReplace(int folder, const char *from, const char *to)
{
    if (::renameat2(folder, from, folder, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without that flag: a hard link fails on an existing name just as well.
    if (::linkat(folder, from, folder, to, 0) != 0)
        return errno;
    ::unlinkat(folder, from, 0);
    return 0;
}

class PosixFileSystem : public FileSystem
{
public:
    int listFolder(const NativePath &folder, const NativePath &namePrefix,
                   std::vector<FolderEntry> &entries) override
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

    int inspect(const NativePath &path, EntryInfo &info) override
    {
        struct stat st;
        if (::stat(path.constData(), &st) != 0)
            return errno;
        info = infoOf(st);
        return 0;
    }

    std::unique_ptr<InputFile> openForReading(const NativePath &path, int &error) override
    {
        return openRegular(AT_FDCWD, path.constData(), 0, error);
    }

    // The folder to open path's file in, and the name to open there. Only the file's own name is looked up
    // in a folder the cursor holds open already: a path walk per file is most of the cost of comparing
    // small files.
    static const char *reach(FolderCursor *cursor, const NativePath &path, int &folder)
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

    std::unique_ptr<FolderCursor> newFolderCursor() override { return std::make_unique<PosixFolderCursor>(); }

    std::unique_ptr<InputFile> openForReading(FolderCursor *cursor, const NativePath &path, int &error) override
    {
        int folder;
        const char *name = reach(cursor, path, folder);
        return openRegular(folder, name, 0, error);
    }

    std::unique_ptr<InputFile> openToReadThrough(FolderCursor *cursor, const NativePath &path, int &error) override
    {
        int folder;
        const char *name = reach(cursor, path, folder);
        const int fd = openWithoutWaiting(folder, name, 0);
        error = fd < 0 ? errno : 0;
        return fd < 0 ? nullptr : std::make_unique<PosixInputFile>(fd);
    }

    std::unique_ptr<Folder> openFolder(const NativePath &path, const EntryInfo &seen, int &error) override
    {
        const int fd = ::open(path.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        struct stat st;
        if (fd < 0 || ::fstat(fd, &st) != 0) {
            error = errno;
            if (fd >= 0)
                ::close(fd);
            return nullptr;
        }
        auto folder = std::make_unique<PosixFolder>(fd, st.st_dev, keepsInodes(fd));
        error = SameEntry(infoOf(st), seen, folder->inodesKept) ? 0 : FolderChanged;
        return error ? nullptr : std::move(folder);
    }

    std::unique_ptr<Folder> openSubfolder(Folder &parent, const NativePath &name, const EntryInfo *seen, bool create,
                                          int &error) override
    {
        const auto &at = static_cast<const PosixFolder &>(parent);
        struct stat st;
        if (::fstatat(at.fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            error = errno;
            if (error != ENOENT || !create)
                return nullptr;
            if (::mkdirat(at.fd, name.constData(), 0777) != 0 && errno != EEXIST) {
                error = errno;
                return nullptr;
            }
            seen = nullptr; // made just now: a folder of the tree, whatever stood there at the load
            if (::fstatat(at.fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                error = errno;
                return nullptr;
            }
        }
        // A link is followed only where the scan followed it; it must still lead to the folder it led to.
        const bool link = S_ISLNK(st.st_mode);
        if (link && !(seen && seen->link)) {
            error = FolderChanged;
            return nullptr;
        }
        const int fd = ::openat(at.fd, name.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC | (link ? 0 : O_NOFOLLOW));
        if (fd < 0 || ::fstat(fd, &st) != 0) {
            error = seen && (errno == ENOTDIR || errno == ELOOP) ? FolderChanged : errno;
            if (fd >= 0)
                ::close(fd);
            return nullptr;
        }
        const bool kept = st.st_dev == at.device ? at.inodesKept : keepsInodes(fd);
        auto folder = std::make_unique<PosixFolder>(fd, st.st_dev, kept);
        EntryInfo now = infoOf(st);
        now.link = link;
        error = seen ? (SameEntry(now, *seen, kept) ? 0 : FolderChanged) : now.kind == EntryKind::Folder ? 0 : ENOTDIR;
        return error ? nullptr : std::move(folder);
    }

    std::unique_ptr<InputFile> openFile(Folder &folder, const NativePath &name, const EntryInfo &seen,
                                        int &error) override
    {
        const auto &at = static_cast<const PosixFolder &>(folder);
        std::unique_ptr<InputFile> file = openRegular(at.fd, name.constData(), seen.link ? 0 : O_NOFOLLOW, error);
        if (!file) {
            if (error == ELOOP)
                error = FileChanged; // a link where the load saw a file
            return nullptr;
        }
        EntryInfo now = file->info();
        struct stat st;
        now.link = ::fstatat(at.fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
        if (!stillSeen(at, name.constData(), now, seen)) {
            error = FileChanged;
            return nullptr;
        }
        return file;
    }

    int copyInto(InputFile &source, Folder &folder, const NativePath &name, const EntryInfo *seen) override
    {
        const auto &at = static_cast<const PosixFolder &>(folder);
        const char *target = name.constData();
        const EntryInfo from = source.info();
        EntryInfo now;
        bool exists = false;
        if (const int error = checkTarget(at, target, seen, now, exists))
            return error;
        if (exists && now.device == from.device && now.inode == from.inode)
            return 0; // the same file on both sides: copying it onto itself has nothing to do
        if (exists) {
            if (const int error = writeProtection(at.fd, target, now))
                return error;
        }

        TemporaryFile temporary(at.fd);
        if (const int error = temporary.create())
            return error;
        int error = copyContent(source, temporary.fd());
        if (const int closed = temporary.close(); !error)
            error = closed;
        // The target once more, right before it is replaced: the copy may have taken a while.
        if (!error)
            error = checkTarget(at, target, seen, now, exists);
        if (!error) {
            error = exists ? (::renameat(at.fd, temporary.name(), at.fd, target) == 0 ? 0 : errno)
                           : renameNoReplace(at.fd, temporary.name(), target);
        }
        if (!error)
            temporary.taken();
        return error;
    }

    int deleteIn(Folder &folder, const NativePath &name, const EntryInfo &seen) override
    {
        const auto &at = static_cast<const PosixFolder &>(folder);
        EntryInfo now;
        if (const int error = inspectAt(at.fd, name.constData(), now))
            return error;
        if (!stillSeen(at, name.constData(), now, seen))
            return FileChanged;
        if (const int error = writeProtection(at.fd, name.constData(), now))
            return error;
        return ::unlinkat(at.fd, name.constData(), 0) == 0 ? 0 : errno;
    }
};

} // namespace

std::unique_ptr<FileSystem> createRealFileSystem()
{
    return std::make_unique<PosixFileSystem>();
}

} // namespace common

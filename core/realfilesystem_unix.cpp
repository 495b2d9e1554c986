#include "filesystem.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace common {
namespace {

EntryInfo infoOf(const struct stat &st)
{
    EntryInfo info;
    info.kind = S_ISREG(st.st_mode)   ? EntryKind::File
                : S_ISDIR(st.st_mode) ? EntryKind::Folder
                                      : EntryKind::Other;
    info.modified = st.st_mtime;
    info.size = st.st_size;
    info.device = st.st_dev;
    info.inode = st.st_ino;
    return info;
}

class PosixInputFile : public InputFile
{
public:
    PosixInputFile(int fd, qint64 size) : m_fd(fd), m_size(size) {}
    qint64 size() const override { return m_size; }
    ~PosixInputFile() override { ::close(m_fd); }

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
            if (n >= 0 || errno != EINTR)
                return n;
        }
    }

private:
    int m_fd;
    qint64 m_size;
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

// Copies the open source into the open target and gives the target the source's mode and times.
int copyContent(int source, int target, const struct stat &sourceInfo)
{
    std::vector<char> buffer(262144);
    for (;;) {
        const ssize_t n = ::read(source, buffer.data(), buffer.size());
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (!writeAll(target, buffer.data(), size_t(n)))
            return errno;
    }
    const struct timespec times[2] = {sourceInfo.st_atim, sourceInfo.st_mtim};
    if (::fchmod(target, sourceInfo.st_mode & 07777) != 0 || ::futimens(target, times) != 0)
        return errno;
    // On disk before it takes the old file's place, so that not even a power cut leaves a torn target.
    if (::fdatasync(target) != 0)
        return errno;
    return 0;
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

// Opens a regular file for reading without waiting (a FIFO never blocks the open); anything else is refused.
std::unique_ptr<InputFile> openRegular(int folder, const char *path, int &error)
{
    const int fd = ::openat(folder, path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
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
    return std::make_unique<PosixInputFile>(fd, st.st_size);
}

// A file the user may not write is protected: it is neither replaced nor deleted, although its folder
// would allow either. A link has no protection of its own.
int writeProtection(const NativePath &path)
{
    struct stat st;
    if (::lstat(path.constData(), &st) != 0 || S_ISLNK(st.st_mode))
        return 0;
    return ::faccessat(AT_FDCWD, path.constData(), W_OK, AT_EACCESS) == 0 ? 0 : errno;
}

class PosixFileSystem : public FileSystem
{
public:
    int listFolder(const NativePath &folder, std::vector<FolderEntry> &entries) override
    {
        const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return errno;
        DIR *dir = ::fdopendir(fd);
        if (!dir) {
            const int error = errno;
            ::close(fd);
            return error;
        }
        int result = 0;
        for (;;) {
            errno = 0;
            const dirent *d = ::readdir(dir);
            if (!d) {
                result = errno;
                break;
            }
            const char *name = d->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            FolderEntry entry;
            entry.name = QByteArray(name);
            // Stat relative to the open folder: one call per entry, no path building.
            struct stat st;
            if (::fstatat(fd, name, &st, 0) == 0) {
                entry.info = infoOf(st);
            } else {
                entry.error = errno;
                // A name that has gone since the listing is no error; a link whose target is missing is.
                if (entry.error == ENOENT && ::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
            }
            entries.push_back(std::move(entry));
        }
        ::closedir(dir);
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
        return openRegular(AT_FDCWD, path.constData(), error);
    }

    std::unique_ptr<FolderCursor> newFolderCursor() override { return std::make_unique<PosixFolderCursor>(); }

    std::unique_ptr<InputFile> openForReading(FolderCursor *cursor, const NativePath &path, int &error) override
    {
        auto *at = static_cast<PosixFolderCursor *>(cursor);
        const int slash = path.lastIndexOf('/');
        if (!at || slash <= 0)
            return openForReading(path, error);
        // Only the file's own name is looked up in a folder already open: a path walk per file is most of
        // the cost of comparing small files.
        if (at->folder.size() != slash || !path.startsWith(at->folder)) {
            if (at->fd >= 0)
                ::close(at->fd);
            at->folder = path.left(slash);
            at->fd = ::open(at->folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        }
        if (at->fd < 0)
            return openForReading(path, error);
        return openRegular(at->fd, path.constData() + slash + 1, error);
    }

    int makeFolder(const NativePath &path) override { return ::mkdir(path.constData(), 0777) == 0 ? 0 : errno; }

    int copyFile(const NativePath &source, const NativePath &target) override
    {
        int error = 0;
        const int in = ::open(source.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (in < 0)
            return errno;
        struct stat sourceInfo, targetInfo;
        if (::fstat(in, &sourceInfo) != 0)
            error = errno;
        else if (!S_ISREG(sourceInfo.st_mode))
            error = EINVAL;
        else if (::stat(target.constData(), &targetInfo) == 0 && targetInfo.st_dev == sourceInfo.st_dev &&
                 targetInfo.st_ino == sourceInfo.st_ino) {
            ::close(in); // the same file on both sides: copying it onto itself has nothing to do
            return 0;
        }
        if (!error)
            error = writeProtection(target);
        if (error) {
            ::close(in);
            return error;
        }
        ::fcntl(in, F_SETFL, 0);

        const int slash = target.lastIndexOf('/');
        QByteArray temporary = target.left(slash + 1) + TemporaryPrefix + "XXXXXX";
        const int out = ::mkostemp(temporary.data(), O_CLOEXEC);
        if (out < 0) {
            error = errno;
            ::close(in);
            return error;
        }
        error = copyContent(in, out, sourceInfo);
        ::close(in);
        if (::close(out) != 0 && !error)
            error = errno;
        if (!error && ::rename(temporary.constData(), target.constData()) != 0)
            error = errno;
        if (error)
            ::unlink(temporary.constData());
        return error;
    }

    int deleteFile(const NativePath &path) override
    {
        if (const int error = writeProtection(path))
            return error;
        return ::unlink(path.constData()) == 0 ? 0 : errno;
    }
};

} // namespace

std::unique_ptr<FileSystem> createRealFileSystem()
{
    return std::make_unique<PosixFileSystem>();
}

} // namespace common

#include "filesystem.h"

#include <cerrno>
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
    explicit PosixInputFile(int fd) : m_fd(fd) {}
    ~PosixInputFile() override { ::close(m_fd); }

    qint64 read(char *buffer, qint64 max) override
    {
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, size_t(max));
            if (n >= 0 || errno != EINTR)
                return n;
        }
    }

private:
    int m_fd;
};

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
        // O_NONBLOCK keeps a FIFO from stalling the open; the type check below refuses it before any read.
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
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
        ::fcntl(fd, F_SETFL, 0);
#ifdef POSIX_FADV_SEQUENTIAL
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
        return std::make_unique<PosixInputFile>(fd);
    }
};

} // namespace

std::unique_ptr<FileSystem> createRealFileSystem()
{
    return std::make_unique<PosixFileSystem>();
}

} // namespace common

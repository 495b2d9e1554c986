// The folders of a synchronisation step, reached one at a time from a loaded folder, and what acts on a
// file in them without copying: opening it as seen, and deleting it.

#include "posixfilesystem.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace common {
namespace posix {

namespace {

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

// Whether the entry name of folder, as it stands now, is still the one seen.
bool stillSeen(const PosixFolder &folder, const char *name, const EntryInfo &now, const EntryInfo &seen)
{
    return SameEntry(now, seen, inodesKeptFor(folder, name, now.device));
}

} // namespace

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


PosixFolder::~PosixFolder()
{
    ::close(fd);
}

bool PosixFolder::isSameAs(const Folder &other) const
{
    struct stat mine, theirs;
    return ::fstat(fd, &mine) == 0 && ::fstat(static_cast<const PosixFolder &>(other).fd, &theirs) == 0 &&
           mine.st_dev == theirs.st_dev && mine.st_ino == theirs.st_ino;
}

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

int writeProtection(int folder, const char *name, const EntryInfo &now)
{
    return now.link || ::faccessat(folder, name, W_OK, AT_EACCESS) == 0 ? 0 : errno;
}

std::unique_ptr<Folder> PosixFileSystem::openFolder(const NativePath &path, const EntryInfo &seen, int &error)
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
    EntryInfo now = infoOf(st);
    now.born = bornOf(fd, "");
    error = SameEntry(now, seen, folder->inodesKept) ? 0 : FolderChanged;
    return error ? nullptr : std::move(folder);
}

std::unique_ptr<Folder> PosixFileSystem::openSubfolder(Folder &parent, const NativePath &name,
                                                       const EntryInfo *seen, bool create, int &error)
{
    const auto &at = static_cast<const PosixFolder &>(parent);
    struct stat st;
    if (::fstatat(at.fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        error = errno;
        if (error == ENOENT && seen)
            error = FolderChanged; // gone since the scan: made again, it would be another folder
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
    now.born = seen ? bornOf(fd, "") : 0;
    error = seen ? (SameEntry(now, *seen, kept) ? 0 : FolderChanged) : now.kind == EntryKind::Folder ? 0 : ENOTDIR;
    return error ? nullptr : std::move(folder);
}

std::unique_ptr<InputFile> PosixFileSystem::openFile(Folder &folder, const NativePath &name, const EntryInfo &seen,
                                                     int &error)
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

int PosixFileSystem::deleteIn(Folder &folder, const NativePath &name, const EntryInfo &seen, Removal removal)
{
    const auto &at = static_cast<const PosixFolder &>(folder);
    EntryInfo now;
    if (const int error = inspectAt(at.fd, name.constData(), now))
        return error;
    if (!stillSeen(at, name.constData(), now, seen))
        return FileChanged;
    if (const int error = writeProtection(at.fd, name.constData(), now))
        return error;
    if (removal == Removal::ForGood)
        return ::unlinkat(at.fd, name.constData(), 0) == 0 ? 0 : errno;
    // Whatever stands there in the instant of the rename goes into the trash, not only the file checked.
    Trash trash;
    if (const int error = trash.find(at))
        return error;
    return trash.moveIn(at, name.constData(), name.constData());
}

int PosixFileSystem::moveLeftoversToTrash(Folder &folder, int &moved)
{
    const auto &at = static_cast<const PosixFolder &>(folder);
    moved = 0;
    const int fd = ::openat(at.fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *listing = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!listing) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        return error;
    }
    std::vector<NativePath> gone;
    while (const dirent *entry = ::readdir(listing)) {
        if (std::strncmp(entry->d_name, TemporaryPrefix, TemporaryPrefixLength) == 0 && writerGone(at.fd, entry->d_name))
            gone.emplace_back(entry->d_name);
    }
    ::closedir(listing);
    Trash trash;
    int error = gone.empty() ? 0 : trash.find(at);
    for (size_t i = 0; !error && i < gone.size(); ++i) {
        error = trash.moveIn(at, gone[i].constData(), gone[i].constData());
        moved += error == 0;
    }
    return error;
}

} // namespace posix
} // namespace common

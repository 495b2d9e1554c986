// The desktop's trash, in the layout the file managers of GNOME, KDE and Xfce share: each trashed
// file in the folder "files", beside a .trashinfo in "info" that says where it stood and when it left, so
// that "Restore" puts it back. And the temporary files of copies whose writer has gone, which go there too.

#include "posixfilesystem.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace common {
namespace posix {

namespace {

void closeIfOpen(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// Opens the folder name of parent, made with mode 0700 where missing. It must be a folder and no link, and
// where owned is set, the user's own.
int openTrashFolder(int parent, const char *name, bool owned, int &fd)
{
    if (::mkdirat(parent, name, 0700) != 0 && errno != EEXIST)
        return errno;
    fd = ::openat(parent, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || (owned && st.st_uid != ::getuid())) {
        closeIfOpen(fd);
        return EACCES;
    }
    return 0;
}

// The path a descriptor stands for now, as the kernel tells it.
NativePath pathOf(int fd)
{
    char link[32], path[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = ::readlink(link, path, sizeof path);
    return n > 0 && size_t(n) < sizeof path ? NativePath(path, int(n)) : NativePath();
}

// The home trash ($XDG_DATA_HOME/Trash, by default ~/.local/share/Trash), made where missing, if it is on
// device: it alone serves the files of its file system. fd receives its descriptor, or -1 where the home
// is elsewhere; NoTrash where it is on device but cannot be had.
int homeTrashOn(quint64 device, int &fd)
{
    fd = -1;
    const char *data = std::getenv("XDG_DATA_HOME");
    const char *home = std::getenv("HOME");
    NativePath folder = data && data[0] == '/' ? NativePath(data)
                        : home && home[0] == '/' ? NativePath(home) + "/.local/share"
                                                 : NativePath();
    if (folder.isEmpty())
        return 0;
    // The nearest entry that exists tells the device before anything is made.
    const NativePath trash = folder + "/Trash";
    struct stat st;
    NativePath existing = trash;
    while (::stat(existing.constData(), &st) != 0) {
        if (existing.lastIndexOf('/') <= 0)
            return 0;
        existing.truncate(existing.lastIndexOf('/'));
    }
    if (quint64(st.st_dev) != device)
        return 0;
    for (qsizetype at = trash.indexOf('/', existing.size() + 1); existing != trash && at > 0; at = trash.indexOf('/', at + 1))
        ::mkdir(trash.left(at).constData(), 0700);
    if (existing != trash)
        ::mkdir(trash.constData(), 0700);
    fd = ::open(trash.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::fstat(fd, &st) != 0 || quint64(st.st_dev) != device) {
        closeIfOpen(fd);
        return NoTrash;
    }
    return 0;
}

bool isUnderMountTop(const PosixFolder &folder)
{
    const NativePath &mountTop = copyHooks().mountTop;
    if (mountTop.isEmpty())
        return false;
    const NativePath path = pathOf(folder.fd);
    return path == mountTop || path.startsWith(mountTop + '/');
}

// The top directory of the mount that holds folder: the last folder up on its device.
int topOf(const PosixFolder &folder)
{
    if (isUnderMountTop(folder))
        return ::open(copyHooks().mountTop.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    int fd = ::openat(folder.fd, ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    struct stat here, above;
    while (fd >= 0 && ::fstat(fd, &here) == 0) {
        const int parent = ::openat(fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (parent < 0 || ::fstat(parent, &above) != 0 || above.st_dev != here.st_dev || above.st_ino == here.st_ino) {
            if (parent >= 0)
                ::close(parent);
            return fd;
        }
        ::close(fd);
        fd = parent;
    }
    closeIfOpen(fd);
    return -1;
}

// Reads the number in field (counted from 1) of a /proc/PID/stat file; 0 where it cannot be read.
unsigned long long statField(const char *file, int field)
{
    char text[1024];
    const int fd = ::open(file, O_RDONLY | O_CLOEXEC);
    const ssize_t n = fd >= 0 ? ::read(fd, text, sizeof text - 1) : -1;
    if (fd >= 0)
        ::close(fd);
    if (n <= 0)
        return 0;
    text[n] = 0;
    const char *at = std::strrchr(text, ')'); // the command's name may hold blanks and parentheses
    for (int i = 2; at && i < field; ++i)
        at = std::strchr(at + 1, ' ');
    return at ? std::strtoull(at + 1, nullptr, 10) : 0;
}

// This boot's identity, shortened: process numbers and start times count only within one boot.
const char *bootTag()
{
    static const QByteArray tag = [] {
        char id[64] = {};
        const int fd = ::open("/proc/sys/kernel/random/boot_id", O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            (void)::read(fd, id, sizeof id - 1);
            ::close(fd);
        }
        QByteArray hex = QByteArray(id).left(8);
        return hex.size() == 8 ? hex : QByteArray("00000000");
    }();
    return tag.constData();
}

unsigned long long processStart(long pid)
{
    char file[64];
    std::snprintf(file, sizeof file, "/proc/%ld/stat", pid);
    return statField(file, 22);
}

} // namespace

Trash::~Trash()
{
    closeIfOpen(m_files);
    closeIfOpen(m_info);
    closeIfOpen(m_top);
}

int Trash::find(const PosixFolder &folder)
{
    if (m_files >= 0 && m_device == folder.device)
        return 0;
    closeIfOpen(m_files);
    closeIfOpen(m_info);
    closeIfOpen(m_top);
    m_device = folder.device;
    int trash = -1;
    if (!isUnderMountTop(folder)) {
        if (const int error = homeTrashOn(folder.device, trash))
            return error;
    }
    if (trash < 0) {
        // $topdir/.Trash/$uid where an administrator made .Trash sticky (and no link), else $topdir/.Trash-$uid.
        m_top = topOf(folder);
        if (m_top < 0)
            return NoTrash;
        char own[32];
        std::snprintf(own, sizeof own, "%lu", static_cast<unsigned long>(::getuid()));
        struct stat st;
        int shared = -1;
        if (::fstatat(m_top, ".Trash", &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) &&
            openTrashFolder(m_top, ".Trash", false, shared) == 0) {
            openTrashFolder(shared, own, true, trash);
            ::close(shared);
        }
        if (trash < 0) {
            std::snprintf(own, sizeof own, ".Trash-%lu", static_cast<unsigned long>(::getuid()));
            if (openTrashFolder(m_top, own, true, trash) != 0)
                return NoTrash;
        }
    }
    const bool made = openTrashFolder(trash, "files", false, m_files) == 0 && openTrashFolder(trash, "info", false, m_info) == 0;
    ::close(trash);
    struct stat st;
    if (!made || ::fstat(m_files, &st) != 0 || quint64(st.st_dev) != folder.device) {
        closeIfOpen(m_files);
        closeIfOpen(m_info);
        return NoTrash;
    }
    return 0;
}

int Trash::moveIn(const PosixFolder &folder, const char *name, const char *originalName, NativePath *stays)
{
    // Where it stood: absolute for the home trash, relative to the top directory for the trash of a mount,
    // so that it still reads right where the stick is mounted elsewhere.
    NativePath origin = pathOf(folder.fd);
    if (m_top >= 0) {
        const NativePath top = pathOf(m_top);
        origin = origin == top ? NativePath() : origin.mid(top == "/" ? 1 : top.size() + 1);
    }
    if (origin.isEmpty() || origin.endsWith('/'))
        origin += originalName;
    else
        origin += '/' + NativePath(originalName);
    char date[32];
    const time_t now = ::time(nullptr);
    struct tm local;
    ::localtime_r(&now, &local);
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    const QByteArray text = "[Trash Info]\nPath=" + origin.toPercentEncoding("/") + "\nDeletionDate=" + date + '\n';

    // Room for a number and ".trashinfo" within the 255 bytes of a name.
    const NativePath base = NativePath(originalName).left(200);
    const qsizetype dot = base.lastIndexOf('.');
    for (int n = 1; n < 100000; ++n) {
        const NativePath entry = n == 1 ? base
                                 : dot > 0 ? base.left(dot) + '.' + QByteArray::number(n) + base.mid(dot)
                                           : base + '.' + QByteArray::number(n);
        const NativePath info = entry + ".trashinfo";
        // The .trashinfo first, under a name nobody else holds: it reserves the name in "files" too.
        const int fd = ::openat(m_info, info.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return errno == EACCES || errno == EPERM || errno == EROFS ? NoTrash : errno;
        const bool written = ::write(fd, text.constData(), size_t(text.size())) == text.size();
        const int error = ::close(fd) == 0 && written ? renameNoReplace(folder.fd, name, m_files, entry.constData())
                                                        : (errno ? errno : EIO);
        if (error == 0) {
            if (stays)
                *stays = entry;
            return 0;
        }
        ::unlinkat(m_info, info.constData(), 0);
        if (error != EEXIST) // (a file in "files" without its .trashinfo keeps its name)
            return error == EXDEV ? NoTrash : error;
    }
    return EEXIST;
}

int Trash::takeBack(const PosixFolder &folder, const NativePath &stays, const char *name)
{
    const int error = renameNoReplace(m_files, stays.constData(), folder.fd, name);
    if (error == 0)
        ::unlinkat(m_info, (stays + ".trashinfo").constData(), 0);
    return error;
}

void temporaryName(char *buffer, size_t size, quint64 random)
{
    static const unsigned long long started = processStart(long(::getpid()));
    std::snprintf(buffer, size, "%s%s-%ld-%llu-%016llx", TemporaryPrefix, bootTag(), long(::getpid()), started,
                  static_cast<unsigned long long>(random));
}

bool writerGone(int folder, const char *name)
{
    struct stat st;
    if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
        return false;
    char boot[9] = {};
    long pid = 0;
    unsigned long long started = 0;
    if (std::sscanf(name + TemporaryPrefixLength, "%8[0-9a-f]-%ld-%llu-", boot, &pid, &started) == 3 &&
        std::strcmp(boot, bootTag()) == 0)
        return processStart(pid) != started;
    // Written before this boot, on another machine that shares the folder, or by an older version: gone
    // once nothing has touched it for an hour (a writer changes it at least as it finishes).
    return ::time(nullptr) - st.st_ctime > 3600;
}

} // namespace posix
} // namespace common

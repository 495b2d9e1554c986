// The copy of a synchronisation step: through a temporary file beside the target that takes the target's
// name only when complete, and that no ending signal leaves behind.

#include "posixfilesystem.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace common {
namespace posix {

namespace {

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

int copyOwnerAndMode(InputFile &source, const EntryInfo &info, int target);

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
    if (const int error = copyOwnerAndMode(source, info, target))
        return error;
    // On disk before it takes the old file's place, so that not even a power cut leaves a torn target; and
    // before the time is set, which a file system in user space may otherwise set anew as it writes. The
    // access time is set too (to now): file systems in user space (exFAT, FAT) drop a modification time
    // that comes without one.
    if (::fdatasync(target) != 0)
        return errno;
    const struct timespec times[2] = {{0, UTIME_NOW}, {time_t(info.modified), long(info.modifiedNs)}};
    return ::futimens(target, times) == 0 ? 0 : errno;
}

// Whether a file system refused to keep something it has no place for (FAT keeps no owners or modes).
bool notHeld(int error)
{
    return error == EPERM || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == ENOTSUP;
}

// Run as root, the copy keeps the source's owner and group (as cp -p does); a set-ID bit survives only on a
// file that has the source's owner and group, so that nobody can plant a set-ID program of someone else's.
// Extended attributes of the user and the access control list go along where both file systems hold them.
int copyOwnerAndMode(InputFile &source, const EntryInfo &info, int target)
{
    // A test's file system that keeps no owners or modes: the calls fail without being made.
    const auto fails = [](int error) { return (errno = error) != 0; };
    const int refused = copyHooks().ownerAndModeError;
    if (::geteuid() == 0 && (fails(refused) || ::fchown(target, uid_t(info.owner), gid_t(info.group)) != 0) &&
        !notHeld(errno))
        return errno;
    struct stat st;
    if (::fstat(target, &st) != 0)
        return errno;
    mode_t mode = mode_t(info.permissions);
    if (st.st_uid != info.owner || st.st_gid != info.group)
        mode &= ~mode_t(S_ISUID | S_ISGID);
    if ((fails(refused) || ::fchmod(target, mode) != 0) && !notHeld(errno))
        return errno;
    const int from = source.descriptor();
    if (from < 0)
        return 0;
    std::vector<char> names(4096), value;
    ssize_t listed;
    while ((listed = ::flistxattr(from, names.data(), names.size())) < 0 && errno == ERANGE)
        names.resize(names.size() * 4);
    for (ssize_t at = 0; listed > 0 && at < listed; at += ssize_t(std::strlen(names.data() + at)) + 1) {
        const char *name = names.data() + at;
        if (std::strncmp(name, "user.", 5) != 0 && std::strcmp(name, "system.posix_acl_access") != 0)
            continue; // the kernel's and the security modules' own are theirs to set
        const ssize_t size = ::fgetxattr(from, name, nullptr, 0);
        if (size < 0)
            continue; // gone since it was listed
        value.resize(size_t(size));
        const ssize_t got = ::fgetxattr(from, name, value.data(), value.size());
        if (got >= 0 && ::fsetxattr(target, name, value.data(), size_t(got), 0) != 0 && !notHeld(errno) &&
            errno != ENOSPC && errno != E2BIG)
            return errno;
    }
    return 0;
}

// Whether the closed temporary file has the time the copy gave it, as far as its file system keeps times:
// some (exFAT through FUSE) set their own when the file is closed, and FAT keeps steps of two seconds.
bool timeKept(int folder, const char *name, const EntryInfo &info)
{
    struct stat st;
    if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    const qint64 apart = qint64(st.st_mtim.tv_sec) - info.modified;
    return (apart == 0 && (st.st_mtim.tv_nsec == long(info.modifiedNs) || st.st_mtim.tv_nsec == 0)) ||
           (apart >= -1 && apart <= 1 && st.st_mtim.tv_nsec == 0 && st.st_mtim.tv_sec % 2 == 0);
}

// Reads the time back from the closed temporary file, and sets it once more where the file system dropped
// it at the close; a copy whose time cannot be kept would be copied back by the next age comparison.
int keepTime(int folder, const char *name, const EntryInfo &info)
{
    const CopyHooks &hooks = copyHooks();
    const struct timespec atClose[2] = {{0, UTIME_NOW}, {time_t(hooks.timeAtClose), 0}};
    if (hooks.timeAtClose != 0)
        ::utimensat(folder, name, atClose, AT_SYMLINK_NOFOLLOW);
    if (timeKept(folder, name, info))
        return 0;
    const struct timespec times[2] = {{0, UTIME_NOW}, {time_t(info.modified), long(info.modifiedNs)}};
    if (::utimensat(folder, name, hooks.timeStays ? atClose : times, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    return timeKept(folder, name, info) ? 0 : TimeNotKept;
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

} // namespace

CopyHooks &copyHooks()
{
    static CopyHooks hooks;
    return hooks;
}

int PosixFileSystem::copyInto(InputFile &source, Folder &folder, const NativePath &name, const EntryInfo *seen,
                              const std::function<int()> &beforeReplace)
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
    if (!error)
        error = keepTime(at.fd, temporary.name(), source.info());
    if (!error && beforeReplace)
        error = beforeReplace();
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

} // namespace posix
} // namespace common

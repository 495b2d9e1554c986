// The copy of a synchronisation step: through a temporary file beside the target that takes the target's
// name only when complete, and that no ending signal leaves behind. A replaced target leaves by an atomic
// exchange of names, so that no instant exists in which a file other than the checked one is destroyed.

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
    char name[96] = {};
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
            temporaryName(pendingTemporary.name, sizeof pendingTemporary.name, random);
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
    /// The file has taken its place, or its name is about to hold the old content: nothing is to be removed.
    void taken() { pendingTemporary.armed = 0; }
    /// The name holds the copy again (an exchange was undone): it is removed once more.
    void rearm() { pendingTemporary.armed = 1; }

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

// What came out of an exchange is still the file the row recorded: device, inode, size and modification
// time. Not the change time, which the exchange itself has just changed.
bool recordedCameOut(const PosixFolder &folder, const char *name, const EntryInfo &seen)
{
    EntryInfo now;
    return inspectAt(folder.fd, name, now) == 0 && SameMovedEntry(now, seen, folder.inodesKept);
}

bool exchangeUnsupported(int error)
{
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == ENOTSUP;
}

// Puts the finished temporary file in place of the checked target seen, which goes to the trash or, for good,
// is unlinked once it is out of the way. Where the file system cannot exchange two names, the target is
// moved out of the way first and the copy takes the free name.
int replaceTarget(const PosixFolder &at, TemporaryFile &temporary, const char *target, const EntryInfo &seen,
                  Removal removal, Trash &trash)
{
    const CopyHooks &hooks = copyHooks();
    if (removal == Removal::ToTrash) {
        if (const int error = trash.find(at))
            return error;
    }
    // From the exchange on, the temporary name holds the old content: no clean-up may remove it.
    temporary.taken();
    if (hooks.beforeExchange)
        hooks.beforeExchange();
    const int exchanged = hooks.exchangeRefused ? EINVAL
                          : ::renameat2(at.fd, temporary.name(), at.fd, target, RENAME_EXCHANGE) == 0 ? 0
                                                                                                       : errno;
    if (exchanged == 0) {
        // Where even the way back fails, the old content stays under the temporary name, for a later run to
        // move into the trash.
        const auto undo = [&](int error) {
            if (::renameat2(at.fd, temporary.name(), at.fd, target, RENAME_EXCHANGE) == 0)
                temporary.rearm();
            return error;
        };
        if (!recordedCameOut(at, temporary.name(), seen))
            return undo(FileChanged); // another program's save in that instant: it keeps its name
        const int error = removal == Removal::ForGood ? (::unlinkat(at.fd, temporary.name(), 0) == 0 ? 0 : errno)
                                                      : trash.moveIn(at, temporary.name(), target);
        return error ? undo(error) : 0;
    }
    temporary.rearm();
    if (exchanged == ENOENT) { // the checked file went in that instant: the name is free
        const int error = renameNoReplace(at.fd, temporary.name(), at.fd, target);
        if (error == 0)
            temporary.taken();
        return error == EEXIST ? FileAppeared : error;
    }
    if (!exchangeUnsupported(exchanged))
        return exchanged;

    // Out of the way first: into the trash, or for good under a temporary name of its own until the copy
    // has the name.
    NativePath aside;
    int asideFolder = at.fd;
    if (removal == Removal::ToTrash) {
        if (const int error = trash.moveIn(at, target, target, &aside))
            return error;
        asideFolder = trash.files();
    } else {
        char name[96];
        quint64 random = 0;
        ::getrandom(&random, sizeof random, 0);
        temporaryName(name, sizeof name, random);
        if (const int error = renameNoReplace(at.fd, target, at.fd, name))
            return error;
        aside = name;
    }
    const auto putBack = [&](int error) {
        if (removal == Removal::ToTrash)
            trash.takeBack(at, aside, target);
        else
            renameNoReplace(at.fd, aside.constData(), at.fd, target);
        return error; // where the name was taken meanwhile, the old file stays in the trash or aside
    };
    EntryInfo now;
    if (inspectAt(asideFolder, aside.constData(), now) != 0 || !SameMovedEntry(now, seen, at.inodesKept))
        return putBack(FileChanged);
    if (const int error = renameNoReplace(at.fd, temporary.name(), at.fd, target))
        return putBack(error == EEXIST ? FileAppeared : error);
    temporary.taken();
    if (removal == Removal::ForGood)
        ::unlinkat(at.fd, aside.constData(), 0);
    return 0;
}

} // namespace

int renameNoReplace(int fromFolder, const char *from, int toFolder, const char *to)
{
    const bool flagsAndLinks = !copyHooks().renameFlagsAndLinksRefused;
    if (flagsAndLinks && ::renameat2(fromFolder, from, toFolder, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (flagsAndLinks && errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without that flag: a hard link fails on an existing name just as well.
    errno = EPERM;
    if (flagsAndLinks && ::linkat(fromFolder, from, toFolder, to, 0) == 0) {
        ::unlinkat(fromFolder, from, 0);
        return 0;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOTSUP && errno != ENOSYS)
        return errno;
    // Nor hard links (exFAT and FAT through FUSE): the name is checked free right before a plain rename.
    struct stat st;
    if (::fstatat(toFolder, to, &st, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return errno != ENOENT ? errno : ::renameat(fromFolder, from, toFolder, to) == 0 ? 0 : errno;
}

CopyHooks &copyHooks()
{
    static CopyHooks hooks;
    return hooks;
}

int PosixFileSystem::copyInto(InputFile &source, Folder &folder, const NativePath &name, const EntryInfo *seen,
                              Removal removal, const std::function<int()> &beforeReplace)
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
    // Refused before any work where the old file could go nowhere but away for good.
    Trash trash;
    if (exists) {
        if (const int error = writeProtection(at.fd, target, now))
            return error;
        if (const int error = removal == Removal::ToTrash ? trash.find(at) : 0)
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
    if (error)
        return error;
    if (exists)
        return replaceTarget(at, temporary, target, *seen, removal, trash);
    if ((error = renameNoReplace(at.fd, temporary.name(), at.fd, target)) == 0)
        temporary.taken();
    return error;
}

} // namespace posix
} // namespace common

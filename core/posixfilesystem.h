#pragma once

// The POSIX file system's parts, shared by the files that implement it: reading (posixreading.cpp), the
// folders of a synchronisation step and what acts in them (posixstepfolders.cpp), the copy through a
// temporary file (posixcopy.cpp), and the trash (posixtrash.cpp).

#include "filesystem.h"

#include <functional>
#include <memory>
#include <vector>

struct stat;

namespace common {
namespace posix {

/// What a stat saw, as the program keeps it.
EntryInfo infoOf(const struct stat &st);
/// Whether the file system of the open descriptor fd keeps inode numbers from one day to the next.
bool keepsInodes(int fd);
/// The birth time of the entry name of folder (an empty name: the folder itself) in nanoseconds; 0 where the
/// file system does not tell it.
quint64 bornOf(int folder, const char *name);
/// Opens a regular file for reading; anything else is refused without ever being opened for reading
/// (EINVAL, ELOOP for a link where flags hold O_NOFOLLOW): a FIFO's waiting writer is not let through, and a
/// device is not touched.
std::unique_ptr<InputFile> openRegular(int folder, const char *path, int flags, int &error);
/// The same for the many files of a comparison, at the cost of a system call less than half as dear: the
/// entry is looked at by name right before it is opened, and a FIFO put in its place in between is opened
/// without waiting and refused.
std::unique_ptr<InputFile> openLookedAt(int folder, const char *path, int &error);

/// A folder of a step, open by descriptor.
struct PosixFolder : Folder
{
    PosixFolder(int fd, quint64 device, bool inodesKept) : fd(fd), device(device), inodesKept(inodesKept) {}
    ~PosixFolder() override;
    bool isSameAs(const Folder &other) const override;
    const int fd;
    const quint64 device;
    const bool inodesKept;
};

/// The entry name of folder as it stands: link or not, and what it leads to (a dangling link is Other).
int inspectAt(int folder, const char *name, EntryInfo &info);

/// 0 when the target name of folder is what a step may act on: the file seen, or nothing where none was seen
/// (a seen file that has gone since is no obstacle to a copy either). now receives what stands there.
int checkTarget(const PosixFolder &folder, const char *name, const EntryInfo *seen, EntryInfo &now, bool &exists);
/// A file the user may not write is protected: it is neither replaced nor deleted, although its folder
/// would allow either. A link has no protection of its own.
int writeProtection(int folder, const char *name, const EntryInfo &now);

/// What a copy meets on file systems this machine may lack, for tests to put in its way: FAT keeps no owners
/// or modes (fchown and fchmod fail with ownerAndModeError), and exFAT through FUSE sets its own time when
/// a file is closed (timeAtClose: the time it sets, once; with timeStays, every later set is lost as well).
/// Many file systems in user space cannot exchange two names (exchangeRefused); exFAT through FUSE has
/// neither the flags of renameat2 nor hard links (renameFlagsAndLinksRefused). beforeExchange acts in the
/// instant between the last check of a target and its replacement. mountTop is a folder that counts as the
/// top directory of a file system of its own, without a home trash, as a mounted stick would.
struct CopyHooks
{
    int ownerAndModeError = 0;
    qint64 timeAtClose = 0;
    bool timeStays = false;
    bool exchangeRefused = false;
    bool renameFlagsAndLinksRefused = false;
    std::function<void()> beforeExchange;
    NativePath mountTop;
};
CopyHooks &copyHooks();

/// Gives the entry from in folder fromFolder the name to in toFolder, where no entry of that name may stand.
int renameNoReplace(int fromFolder, const char *from, int toFolder, const char *to);

/// Where a file that is deleted or replaced goes: the trash of its file system, open by descriptors.
class Trash
{
public:
    Trash() = default;
    Trash(const Trash &) = delete;
    Trash &operator=(const Trash &) = delete;
    ~Trash();
    /// Finds the trash for the entries of folder, made where missing: the home trash where it is on the
    /// same file system, else the trash in the top directory of the folder's mount. NoTrash where none can
    /// be had; a trash found once is kept.
    int find(const PosixFolder &folder);
    /// Moves the entry name of folder into the trash, its .trashinfo written first, saying it stood at the
    /// place of originalName in folder. Returns 0, NoTrash where the rename would have to be a copy, or the
    /// error; where stays is given, it receives the entry's name in the trash's files folder.
    int moveIn(const PosixFolder &folder, const char *name, const char *originalName, NativePath *stays = nullptr);
    /// Takes the entry trashed as stays back to name in folder, where no entry of that name may stand.
    int takeBack(const PosixFolder &folder, const NativePath &stays, const char *name);
    int files() const { return m_files; }

private:
    int m_files = -1;
    int m_info = -1;
    int m_top = -1;       ///< the top directory of a mount's trash; -1 for the home trash
    quint64 m_device = 0; ///< the file system it serves
};

/// Whether the temporary file name of folder is left over from a writer that has gone.
bool writerGone(int folder, const char *name);
/// The name of a new temporary file: it tells this process and this boot, so that a later run can tell it
/// from one being written, and ends with a random part.
void temporaryName(char *buffer, size_t size, quint64 random);

class PosixFileSystem : public FileSystem
{
public:
    int listFolder(const NativePath &folder, const NativePath &namePrefix,
                   std::vector<FolderEntry> &entries) override;
    int inspect(const NativePath &path, EntryInfo &info) override;
    NativePath canonicalPath(const NativePath &path) override;
    bool keepsTwoSecondTimes(const NativePath &folder) override;
    std::unique_ptr<InputFile> openForReading(const NativePath &path, int &error) override;
    std::unique_ptr<FolderCursor> newFolderCursor() override;
    std::unique_ptr<InputFile> openForReading(FolderCursor *cursor, const NativePath &path, int &error) override;

    std::unique_ptr<Folder> openFolder(const NativePath &path, const EntryInfo &seen, int &error) override;
    std::unique_ptr<Folder> openSubfolder(Folder &parent, const NativePath &name, const EntryInfo *seen, bool create,
                                          int &error) override;
    std::unique_ptr<InputFile> openFile(Folder &folder, const NativePath &name, const EntryInfo &seen,
                                        int &error) override;
    int copyInto(InputFile &source, Folder &folder, const NativePath &name, const EntryInfo *seen, Removal removal,
                 const std::function<int()> &beforeReplace) override;
    int deleteIn(Folder &folder, const NativePath &name, const EntryInfo &seen, Removal removal) override;
    int moveLeftoversToTrash(Folder &folder, int &moved) override;

private:
    static const char *reach(FolderCursor *cursor, const NativePath &path, int &folder);
};

} // namespace posix
} // namespace common

#pragma once

// The POSIX file system's parts, shared by the files that implement it: reading (posixreading.cpp), the
// folders of a synchronisation step and what acts in them (posixstepfolders.cpp), and the copy through a
// temporary file (posixcopy.cpp).

#include "filesystem.h"

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

/// 0 when the target name of folder is what a step may act on: the file seen, or nothing where none was seen
/// (a seen file that has gone since is no obstacle to a copy either). now receives what stands there.
int checkTarget(const PosixFolder &folder, const char *name, const EntryInfo *seen, EntryInfo &now, bool &exists);
/// A file the user may not write is protected: it is neither replaced nor deleted, although its folder
/// would allow either. A link has no protection of its own.
int writeProtection(int folder, const char *name, const EntryInfo &now);

/// What a copy meets on file systems this machine may lack, for tests to put in its way: FAT keeps no owners
/// or modes (fchown and fchmod fail with ownerAndModeError), and exFAT through FUSE sets its own time when
/// a file is closed (timeAtClose: the time it sets, once; with timeStays, every later set is lost as well).
struct CopyHooks
{
    int ownerAndModeError = 0;
    qint64 timeAtClose = 0;
    bool timeStays = false;
};
CopyHooks &copyHooks();

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
    int copyInto(InputFile &source, Folder &folder, const NativePath &name, const EntryInfo *seen,
                 const std::function<int()> &beforeReplace) override;
    int deleteIn(Folder &folder, const NativePath &name, const EntryInfo &seen) override;

private:
    static const char *reach(FolderCursor *cursor, const NativePath &path, int &folder);
};

} // namespace posix
} // namespace common

#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <vector>

namespace common {

/// A path or name exactly as the file system spells it: the bytes of the name on Unix (which need not be
/// valid UTF-8), UTF-8 on Windows. Only the text shown to the user is ever converted.
using NativePath = QByteArray;

/// The folder separator of the platform, which ends every folder path of the program.
#ifdef Q_OS_WIN
constexpr char Separator = '\\';
#else
constexpr char Separator = '/';
#endif

/// The error code that says "no such file or folder" (it lets callers tell a vanished entry from a refused one).
constexpr int NotFound = 2;

enum class EntryKind { File, Folder, Other };

/// What one stat tells about an entry, links followed; link says whether the entry itself is a link.
/// Device, inode, size, the modification time to the nanosecond and the change time identify a file for a
/// later step.
struct EntryInfo
{
    EntryKind kind = EntryKind::Other;
    qint64 modified = 0; ///< last modification, whole seconds since the epoch (UTC)
    qint64 size = 0;
    quint64 device = 0; ///< device and inode; 0 when unknown
    quint64 inode = 0;
    quint32 modifiedNs = 0; ///< the nanoseconds within that second
    bool link = false;
    quint32 permissions = 0; ///< the permission bits, carried over by a copy
    quint32 owner = 0; ///< user and group, carried over by a copy where the program may
    quint32 group = 0;
    /// A folder's birth time in nanoseconds, 0 when unknown: it tells a folder made anew from the one seen,
    /// where the file system gives the new one the old inode number.
    quint64 born = 0;
    /// A digest of the change time (ctime), 0 when unknown. Nobody can set a change time back: an edit that
    /// put the old modification time back still shows here.
    quint32 changeTag = 0;
};

/// The change tag of a change time: never 0, so that 0 can mean "not known".
inline quint32 ChangeTag(qint64 seconds, quint32 nanoseconds)
{
    quint64 h = quint64(seconds) * 0x9E3779B97F4A7C15ull ^ quint64(nanoseconds) * 0xC2B2AE3D27D4EB4Full;
    h ^= h >> 29;
    const auto tag = quint32(h ^ (h >> 32));
    return tag != 0 ? tag : 1;
}

/// True when now is still the entry seen earlier: the same kind, link or not, and for a file the same size,
/// modification time to the nanosecond and change time (where both are known); device and inode too where
/// the file system keeps inode numbers (network file systems in user space make them up anew).
bool SameEntry(const EntryInfo &now, const EntryInfo &seen, bool inodesKept);

/// As SameEntry, without the change time: for an entry just moved, which the move itself gave a new one.
bool SameMovedEntry(EntryInfo now, const EntryInfo &seen, bool inodesKept);

/// Error codes of the checks of a synchronisation step, beside the system's own.
enum StepRefusal : int {
    FileChanged = 100001,  ///< the file is no longer the one the load saw
    FileAppeared,          ///< a file stands where the load saw none
    FolderChanged,         ///< a folder on the way is no longer the one the scan walked
    SourceChangedWhileRead, ///< the source of a copy changed while it was copied
    TimeNotKept,           ///< the target's file system did not keep the modification time of a copy
    NoTrash                ///< the file's file system has no trash it could be moved into
};

/// What becomes of a file that a step deletes or replaces: the trash keeps it for the file manager's
/// "Restore"; for good only where the user allowed it.
enum class Removal { ToTrash, ForGood };

/// One entry of a folder listing.
struct FolderEntry
{
    NativePath name;
    int error = 0; ///< non-zero when the entry was listed but could not be inspected; info is then empty
    EntryInfo info;
};

/// A file opened for reading; closed when destroyed.
class InputFile
{
public:
    virtual ~InputFile() = default;
    /// Reads up to max bytes; returns the count read (0 at the end) or -1 on failure.
    virtual qint64 read(char *buffer, qint64 max) = 0;
    /// The file's size when it was opened.
    virtual qint64 size() const = 0;
    /// What the file was when it was opened.
    virtual EntryInfo info() const { return {}; }
    /// 0 while its size and modification time are those it was opened with; else SourceChangedWhileRead.
    virtual int checkUnchanged() { return 0; }
    /// The platform's descriptor of the open file, for what only the platform copies (extended attributes
    /// and access control lists); -1 where there is none.
    virtual int descriptor() const { return -1; }
};

/// Remembers the folder a caller last opened a file in, for callers that open many files folder by folder.
class FolderCursor
{
public:
    virtual ~FolderCursor() = default;
};

/// A folder opened on the way to the file of a synchronisation step: it stays the folder that was checked,
/// whatever happens to its path meanwhile.
class Folder
{
public:
    virtual ~Folder() = default;
    /// Whether other, opened by the same file system, is this very folder.
    virtual bool isSameAs(const Folder &other) const = 0;
};

/// Every access of the program to files and folders goes through this interface, so that tests can put
/// failures in its way that cannot be provoked on a real disk. Errors are reported as positive codes.
/// Threads: listing, inspecting, opening for reading and newFolderCursor may be called from several threads
/// at once, so an implementation keeps no unguarded state of its own; the changing operations (a step's
/// folders, copies and deletions) are called from one thread only. A FolderCursor and an InputFile belong
/// to the thread that made them.
class FileSystem
{
public:
    virtual ~FileSystem() = default;
    /// Lists a folder's entries in the platform's order, without "." and "..", each inspected once;
    /// an entry that vanished between listing and inspection is left out. Each entry's name is namePrefix
    /// followed by its own: a scan names its files by their path within the tree, put together here once.
    /// Returns 0 or the listing's error.
    virtual int listFolder(const NativePath &folder, const NativePath &namePrefix,
                           std::vector<FolderEntry> &entries) = 0;
    /// Inspects one entry, links followed. Returns 0 or the error (NotFound when there is no such entry).
    virtual int inspect(const NativePath &path, EntryInfo &info) = 0;
    /// The absolute path of an existing entry with every link, "." and ".." resolved, without a trailing
    /// separator; empty where it cannot be resolved.
    virtual NativePath canonicalPath(const NativePath &path) = 0;
    /// Whether the file system holding folder keeps modification times in steps of two seconds (FAT), as
    /// the mount table tells.
    virtual bool keepsTwoSecondTimes(const NativePath &folder)
    {
        Q_UNUSED(folder);
        return false;
    }
    /// Opens a regular file for sequential reading; anything else (a FIFO, a device) is refused with an error.
    virtual std::unique_ptr<InputFile> openForReading(const NativePath &path, int &error) = 0;
    /// A cursor for the call below, or none where the platform gains nothing from one.
    virtual std::unique_ptr<FolderCursor> newFolderCursor() { return nullptr; }
    /// As openForReading, where the cursor (if any) spares looking up the folder of the file again when the
    /// previous file opened with it lay in the same folder.
    virtual std::unique_ptr<InputFile> openForReading(FolderCursor *, const NativePath &path, int &error)
    {
        return openForReading(path, error);
    }
    /// As the call above, for a file whose size the caller knows and reads through to one byte past its end
    /// at once: the platform may leave looking at the open file (its kind and size) until size() or info()
    /// is asked for, and what is then no regular file has the size -1. A read never waits for a FIFO.
    virtual std::unique_ptr<InputFile> openToReadThrough(FolderCursor *cursor, const NativePath &path, int &error)
    {
        return openForReading(cursor, path, error);
    }

    // The operations of a synchronisation step. A step reaches its file from a loaded folder one folder at a
    // time and acts relative to the folder it reached, so that a folder swapped for a link after the load
    // can never lead it outside the loaded trees; each checks what it acts on right before it acts.

    /// Opens a loaded folder by its full path (links on the way followed) if it is still the folder seen.
    virtual std::unique_ptr<Folder> openFolder(const NativePath &path, const EntryInfo &seen, int &error) = 0;
    /// Opens the subfolder name of parent. With seen: it must still be that folder, reached through a link
    /// exactly where seen.link says so, and a seen folder that is gone is never made again. Without: it must
    /// be a folder and no link; a missing one is created when create is set.
    virtual std::unique_ptr<Folder> openSubfolder(Folder &parent, const NativePath &name, const EntryInfo *seen,
                                                  bool create, int &error) = 0;
    /// Opens the file name of folder for reading if it is still the file seen.
    virtual std::unique_ptr<InputFile> openFile(Folder &folder, const NativePath &name, const EntryInfo &seen,
                                                int &error) = 0;
    /// Copies source to name in folder with the source's modification time and permissions, through a
    /// temporary file beside it that takes the name only when complete: a failed copy leaves the old file
    /// as it was and no temporary file, also when the program is ended by a signal meanwhile. With seen,
    /// the copy replaces that file (or takes the name, if it has gone) and the old file goes where removal
    /// says; without, the name must be free. A source that changed while it was read fails the copy. A
    /// target that is the source itself is left alone; a target the user may not write is refused.
    /// beforeReplace, where given, is called right before the copy takes the name; a result other than 0
    /// refuses the copy with it. NoTrash: the old file's file system has no trash, and nothing was done.
    virtual int copyInto(InputFile &source, Folder &folder, const NativePath &name, const EntryInfo *seen,
                         Removal removal, const std::function<int()> &beforeReplace = {}) = 0;
    /// Deletes the entry name of folder if it is still the file seen, into the trash or for good; a link is
    /// deleted, never what it leads to; a file the user may not write is refused.
    virtual int deleteIn(Folder &folder, const NativePath &name, const EntryInfo &seen, Removal removal) = 0;
    /// Moves the temporary files in folder whose writer has gone (ended by a signal that cannot be caught)
    /// into the trash; moved receives how many. Never deletes one.
    virtual int moveLeftoversToTrash(Folder &folder, int &moved)
    {
        Q_UNUSED(folder);
        moved = 0;
        return 0;
    }
};

/// Temporary files of a copy start with this; the leading dot keeps every scan from listing them.
constexpr char TemporaryPrefix[] = ".kalmora-";
constexpr int TemporaryPrefixLength = sizeof TemporaryPrefix - 1;

/// The file system of the machine the program runs on.
std::unique_ptr<FileSystem> createRealFileSystem();
/// The file system through Qt's classes, without folder descriptors: the real one where there is no POSIX.
std::unique_ptr<FileSystem> createPortableFileSystem();

} // namespace common

#pragma once

#include <QByteArray>
#include <QtGlobal>

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

/// What one stat tells about an entry, links followed.
struct EntryInfo
{
    EntryKind kind = EntryKind::Other;
    qint64 modified = 0; ///< last modification, seconds since the epoch
    qint64 size = 0;
    quint64 device = 0; ///< device and inode identify a folder for the link-loop guard; 0 when unknown
    quint64 inode = 0;
};

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
};

/// Remembers the folder a caller last opened a file in, for callers that open many files folder by folder.
class FolderCursor
{
public:
    virtual ~FolderCursor() = default;
};

/// Every access of the program to files and folders goes through this interface, so that tests can put
/// failures in its way that cannot be provoked on a real disk. Errors are reported as positive codes.
class FileSystem
{
public:
    virtual ~FileSystem() = default;
    /// Lists a folder's entries in the platform's order, without "." and "..", each inspected once;
    /// an entry that vanished between listing and inspection is left out. Returns 0 or the listing's error.
    virtual int listFolder(const NativePath &folder, std::vector<FolderEntry> &entries) = 0;
    /// Inspects one entry, links followed. Returns 0 or the error (NotFound when there is no such entry).
    virtual int inspect(const NativePath &path, EntryInfo &info) = 0;
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
    /// Creates one folder. Returns 0 or the error.
    virtual int makeFolder(const NativePath &path) = 0;
    /// Copies a regular file over target (replacing it) with the source's modification time. The copy goes
    /// to a temporary file beside the target that replaces it only when complete: a failed copy leaves the
    /// old target as it was and no temporary file. A target that is the source itself is left alone; a
    /// target the user may not write is refused.
    virtual int copyFile(const NativePath &source, const NativePath &target) = 0;
    /// Deletes exactly the named entry; a link is deleted, never what it points to; folders and files the
    /// user may not write are refused.
    virtual int deleteFile(const NativePath &path) = 0;
};

/// Temporary files of a copy start with this; the leading dot keeps every scan from listing them.
constexpr char TemporaryPrefix[] = ".kalmora-";

/// The file system of the machine the program runs on.
std::unique_ptr<FileSystem> createRealFileSystem();

} // namespace common

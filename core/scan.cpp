// The scan: a loaded folder's tree walked into the list of its files.

#include "core.h"

#include "folderlister.h"
#include "names.h"
#include "pacer.h"

#include <QDateTime>

#include <algorithm>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace common {

namespace {

// Folders already on the path from the scanned folder down to the current one, identified by device and
// inode, so that a link leading back up is not followed into an endless scan.
struct FolderId
{
    quint64 device = 0;
    quint64 inode = 0;
    bool operator==(const FolderId &o) const { return device == o.device && inode == o.inode; }
};

QString accessError(int code, const NativePath &path)
{
    return QStringLiteral("Zugriffsfehler %1 auf '%2'").arg(QString::number(code), DisplayName(path)) + CR +
           QStringLiteral("Dieser Name wird fortan ignoriert ...");
}
} // namespace

void ScannedFiles::clearForNextScan()
{
    for (std::vector<ScannedFile> &chunk : m_chunks)
        chunk.clear();
    m_size = 0;
}

void ScannedFiles::clear()
{
    if (m_chunks.empty())
        return; // nothing to give back (a load starts with an empty list)
    std::vector<std::vector<ScannedFile>>().swap(m_chunks);
    m_size = 0;
#ifdef __GLIBC__
    malloc_trim(0); // chunks the heap took in (not mapped apart) go back to the system as well
#endif
}

void Core::ScanFolder(const NativePath &folder, const std::function<void()> &filesFound)
{
    // A folder to visit, or (without a path) files to take after the subtrees listed before them.
    struct Pending
    {
        NativePath path;
        size_t depth = 0;
        FolderId id;
        std::vector<ScannedFile> files;
    };

    m_scanned.listedAt = QDateTime::currentSecsSinceEpoch();
    EntryInfo rootInfo;
    m_fs.inspect(folder, rootInfo);
    m_scanned.seen = rootInfo;
    // A stack visits the subfolders in the order of their listing, each subtree whole, as a recursion
    // would, without a recursion's depth limit. A folder's files come between its subtrees as they are
    // listed, so that the files of a tree come nearly in the order the list sorts them into.
    std::vector<Pending> pending{{folder, 0, {rootInfo.device, rootInfo.inode}, {}}};
    std::vector<FolderId> ancestors;
    std::vector<FolderEntry> entries;
    const NativePath root = WithTrailingBackslash(folder);
    const IgnorePatterns &ignoring = *m_ignoring;
    // A folder listed ahead is taken only by its own load; the load before it leaves it listing.
    std::unique_ptr<FolderLister> lister;
    if (m_listedAhead && m_listedAheadPath == root) {
        lister = std::move(m_listedAhead);
        m_listedAheadPath.clear();
    } else {
        lister = std::make_unique<FolderLister>(m_fs, root, m_ignoring);
    }
    // Beside the yield after each folder, one every 25 ms inside a large folder (unless SpeedCheck).
    Pacer amid(m_host.speedChecked() ? std::function<bool()>() : [this] {
        m_host.yield();
        return true;
    });

    while (!pending.empty()) {
        Pending current = std::move(pending.back());
        pending.pop_back();
        if (current.path.isEmpty()) {
            for (ScannedFile &file : current.files)
                m_fileList.push_back(std::move(file));
            continue;
        }
        ancestors.resize(current.depth);
        ancestors.push_back(current.id);

        const NativePath working = WithTrailingBackslash(current.path);
        const qsizetype relativeFolderLength = working.size() - root.size();
        entries.clear();
        if (const int error = lister->list(working, entries, [this] { m_host.yield(); })) {
            entries.clear();
            message(accessError(error, current.path), Host::Icon::Warning);
        }
        // Each entry comes named by its path within the tree. Subfolders and the runs of files between
        // them go onto the stack last first.
        const size_t subfoldersFrom = pending.size();
        for (FolderEntry &entry : entries) {
            if (IsHidden(entry, relativeFolderLength)) {
                if (entry.name.mid(relativeFolderLength).startsWith(TemporaryPrefix))
                    m_scanned.leftovers.insert(entry.name.left(qMax<qsizetype>(0, relativeFolderLength - 1)));
                continue;
            }
            // Left out: never reported, listed or entered. What could not be inspected may be a folder.
            if (ignoring.excludes(entry.name, relativeFolderLength, entry.error || entry.info.kind == EntryKind::Folder))
                continue;
            if (entry.error) {
                message(accessError(entry.error, root + entry.name), Host::Icon::Warning);
                continue;
            }
            switch (entry.info.kind) {
            case EntryKind::Folder: {
                const FolderId id{entry.info.device, entry.info.inode};
                const bool known = id.inode != 0 || id.device != 0;
                if (known && std::find(ancestors.begin(), ancestors.end(), id) != ancestors.end())
                    break; // a link back into a folder of the current path
                pending.push_back({root + entry.name, current.depth + 1, id, {}});
                m_scanned.folders.insert(entry.name, {id.device, id.inode, entry.info.born, entry.info.link});
                break;
            }
            case EntryKind::File:
                if (pending.size() == subfoldersFrom) { // before every subfolder: nothing comes first
                    m_fileList.push_back({std::move(entry.name), m_list.seen(entry.info)});
                    break;
                }
                if (!pending.back().path.isEmpty())
                    pending.emplace_back();
                pending.back().files.push_back({std::move(entry.name), m_list.seen(entry.info)});
                break;
            case EntryKind::Other:
                break; // FIFOs, sockets and devices have no content to compare and are never opened
            }
            amid();
        }
        std::reverse(pending.begin() + qsizetype(subfoldersFrom), pending.end());
        // Announced the last to be visited first: the lister takes the latest announcement first.
        for (size_t i = subfoldersFrom; i < pending.size(); ++i) {
            if (!pending[i].path.isEmpty()) {
                lister->ahead(WithTrailingBackslash(pending[i].path));
                amid();
            }
        }
        if (filesFound)
            filesFound();
        m_host.yield();
        if (stopping())
            break;
    }
}

} // namespace common

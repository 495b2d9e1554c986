#include "core.h"

#include "folderlister.h"
#include "names.h"

#include <algorithm>

#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <optional>

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

Core::Core(Host &host, FileSystem &fileSystem) : m_host(host), m_fs(fileSystem)
{
    m_sinceRepaint.start();
}

Core::~Core() = default;

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

bool Core::repaintDue()
{
    if (m_sinceRepaint.elapsed() < RepaintInterval)
        return false;
    m_sinceRepaint.restart();
    return true;
}

Core::BusyScope::BusyScope(Core &core) : m_core(core)
{
    m_core.m_busy = true;
    m_core.m_list.setFrozen(true);
}

void Core::BusyScope::end()
{
    if (!m_active)
        return;
    m_active = false;
    m_core.m_busy = false;
    m_core.m_list.setFrozen(false);
}

void Core::SetStatus(int panel, const QString &text)
{
    if (panel == 2 && !text.isEmpty())
        m_host.setStatusPanel(2, QStringLiteral("Status: ") + text);
    else
        m_host.setStatusPanel(panel, text);
}

void Core::EnableCompareCommand(bool enabled)
{
    m_host.setCompareCommandEnabled(enabled);
}

void Core::message(const QString &text, Host::Icon icon)
{
    m_host.showMessage(text, icon, Host::Buttons::Ok);
}

bool Core::pause()
{
    if (!m_host.speedChecked())
        m_host.yield();
    return !stopping();
}

void Core::ScanFolder(const NativePath &folder)
{
    struct Pending
    {
        NativePath path;
        size_t depth;
        FolderId id;
    };

    EntryInfo rootInfo;
    m_fs.inspect(folder, rootInfo);
    m_scanned.seen = rootInfo;
    // A stack visits the subfolders last-listed first, each subtree whole, as a recursion would, without
    // a recursion's depth limit.
    std::vector<Pending> pending{{folder, 0, {rootInfo.device, rootInfo.inode}}};
    std::vector<FolderId> ancestors;
    std::vector<FolderEntry> entries;
    const NativePath root = WithTrailingBackslash(folder);
    // A folder listed ahead is taken only by its own load; the load before it leaves it listing.
    std::unique_ptr<FolderLister> lister;
    if (m_listedAhead && m_listedAheadPath == root) {
        lister = std::move(m_listedAhead);
        m_listedAheadPath.clear();
    } else {
        lister = std::make_unique<FolderLister>(m_fs, root);
    }
    // Beside the yield after each folder, one every 25 ms inside a large folder (unless SpeedCheck).
    Pacer amid(m_host.speedChecked() ? std::function<bool()>() : [this] {
        m_host.yield();
        return true;
    });

    while (!pending.empty()) {
        const Pending current = std::move(pending.back());
        pending.pop_back();
        ancestors.resize(current.depth);
        ancestors.push_back(current.id);

        const NativePath working = WithTrailingBackslash(current.path);
        const qsizetype relativeFolderLength = working.size() - root.size();
        entries.clear();
        if (const int error = lister->list(working, entries, [this] { m_host.yield(); })) {
            entries.clear();
            message(accessError(error, current.path), Host::Icon::Warning);
        }
        // Each entry comes named by its path within the tree.
        for (FolderEntry &entry : entries) {
            if (IsHidden(entry, relativeFolderLength))
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
                NativePath subfolder = root + entry.name;
                lister->ahead(WithTrailingBackslash(subfolder));
                pending.push_back({std::move(subfolder), current.depth + 1, id});
                m_scanned.folders.insert(entry.name, {id.device, id.inode, entry.info.link});
                break;
            }
            case EntryKind::File:
                m_fileList.push_back({std::move(entry.name), m_list.seen(entry.info)});
                break;
            case EntryKind::Other:
                break; // FIFOs, sockets and devices have no content to compare and are never opened
            }
            amid();
        }
        m_host.yield();
        if (stopping())
            break;
    }
}

void Core::SortList(int column, Qt::SortOrder order)
{
    if (m_busy || m_host.speedChecked()) {
        m_list.sort(column, order); // while frozen, only the sort state
        return;
    }
    BusyScope busy(*this);
    m_list.sort(column, order);
    m_list.sortNow([this] { return pause(); });
}

void Core::ListAhead(const NativePath &folder)
{
    m_listedAheadPath = WithTrailingBackslash(folder);
    m_listedAhead = std::make_unique<FolderLister>(m_fs, m_listedAheadPath, ReadingAhead::ForLater);
    m_listedAhead->ahead(m_listedAheadPath);
}

void Core::LoadFolder(NativePath &folder, bool &toLeft)
{
    if (m_busy)
        return;
    BusyScope busy(*this);

    if (m_list.count() == 0)
        toLeft = true;
    folder = WithTrailingBackslash(folder);
    EnableCompareCommand(false);
    m_host.setBusy(true);
    SetStatus(1, QString());
    SetStatus(2, QString());
    m_list.setSorted(false);

    if (toLeft) {
        // A new left folder starts over: no right folder is loaded any more.
        m_left = LoadedFolder{folder, {}, {}};
        m_right = LoadedFolder();
        m_list.setHeaderText(ComparisonList::LeftNameColumn, DisplayName(folder));
        m_list.setHeaderText(ComparisonList::RightNameColumn, QStringLiteral("Zweiter Ordner"));
        m_list.ClearList();
    } else {
        m_right = LoadedFolder{folder, {}, {}};
        m_list.setHeaderText(ComparisonList::RightNameColumn, DisplayName(folder));
        for (int i = 0; i < m_list.count(); ++i)
            m_list.clearRightNameAndMarker(i);
        m_list.announceChanges();
    }

    m_fileList.clear();
    m_scanned = LoadedFolder();
    m_host.setProgress(25);
    SetStatus(2, QStringLiteral("Aufstellung der Dateien im betr. Verzeichnis läuft ..."));
    ScanFolder(folder);
    LoadedFolder &loaded = toLeft ? m_left : m_right;
    loaded.seen = m_scanned.seen;
    loaded.folders = std::move(m_scanned.folders);
    m_host.setProgress(50);
    SetStatus(2, QStringLiteral("Eintragung der Dateien in die Vergleichsliste läuft ..."));

    const auto pauseHere = [this] { return pause(); };
    std::optional<RightPairing> pairing;
    if (!toLeft && !stopping()) {
        pairing.emplace(
            m_list, m_fileList.size(), [this](size_t i) -> const NativePath & { return m_fileList[i].name; },
            pauseHere);
    }
    // New rows are gathered and appended in one step at the end, and the view hears of changed rows once:
    // a view relays out all its rows after every insertion it is told of.
    // A left load leaves a quarter more room than it fills: the right-only rows of the next load then fit
    // without moving a million rows (room never filled takes no memory).
    std::vector<Row> newRows;
    newRows.reserve(toLeft ? m_fileList.size() + m_fileList.size() / 4 : 0);
    const size_t n = stopping() ? 0 : m_fileList.size();
    for (size_t i = 1; i <= n; ++i) {
        m_host.setProgress(double(i) * 50.0 / double(n) + 50.0);
        ScannedFile &file = m_fileList[i - 1];
        if (toLeft) {
            newRows.push_back({std::move(file.name), {}, file.seen, {}, Marker::None});
        } else if (const int row = pairing->rowOf(i - 1); row >= 0) {
            m_list.setRightSide(row, std::move(file.name), file.seen);
        } else {
            newRows.push_back({{}, std::move(file.name), {}, file.seen, Marker::None});
        }
        if (i % 64 == 0 && !m_host.speedChecked()) {
            m_host.yield();
            if (stopping())
                break;
        }
    }
    // Nothing reads the scan's list after the load; a million paths are not kept for nothing.
    m_fileList.clear();
    m_list.appendRows(newRows);
    if (m_list.count() > RowsBetweenPauses)
        pause(); // the view takes in the new rows
    if (!toLeft)
        m_list.announceChanges();

    SetStatus(2, QStringLiteral("Eintragung der Dateien abgeschlossen."));
    const int rows = m_list.count();
    SetStatus(1, QString::number(rows) + (rows == 1 ? QStringLiteral(" Datei") : QStringLiteral(" Dateien")));
    // Without yields (SpeedCheck) nothing can look at the rows while they are sorted.
    if (!stopping())
        m_list.sortNow(m_host.speedChecked() ? std::function<bool()>() : pauseHere);
    busy.end();
    m_host.setBusy(false);
    m_host.setProgress(0);
    EnableCompareCommand(true);

    if (m_host.sofortStartChecked() && !toLeft && !m_batchMode && !stopping())
        RunComparison(m_host.binaryModeSelected());
}

void Core::AskForFolder(bool &toLeft)
{
    if (m_busy)
        return; // the choice could not be loaded now
    NativePath folder = m_host.browseForFolder(QStringLiteral("Bitte geben Sie den Namen des") + CR +
                                               QStringLiteral("zu vergleichenden Ordners an:"));
    if (!folder.isEmpty())
        LoadFolder(folder, toLeft);
}

void Core::DropFolder(const std::vector<NativePath> &paths, int dropX)
{
    if (paths.empty())
        return;
    if (paths.size() >= 2) {
        message(QStringLiteral("Bitte jeweils nur ein einzelnes Verzeichnis in die Liste ziehen!"));
        return;
    }
    NativePath path = paths.front();
    EntryInfo info;
    if (m_fs.inspect(path, info) != 0 || info.kind != EntryKind::Folder) {
        message(QStringLiteral("Bitte nur Verzeichnisse (keine Einzeldateien) in die Liste ziehen!"));
        return;
    }
    if (path.contains('?')) {
        message(QStringLiteral("Dieser Verzeichnisname enthält ungültige Zeichen - bitte korrigieren!"));
        return;
    }
    bool toLeft = dropX < m_list.column1Width();
    LoadFolder(path, toLeft);
}

} // namespace common

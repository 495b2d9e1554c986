#include "core.h"

#include "names.h"

#include <QSet>

#include <cerrno>

namespace common {

namespace {

// Refusals of a step by the synchronisation itself, beside those of the file system.
enum : int { NoLeftFile = 100101, NoRightFile, NoLeftFolder, NoRightFolder, TimeProvesNothing, LeftOut };

QString quoted(const NativePath &path)
{
    return u'\'' + DisplayName(path) + u'\'';
}

QString copyDetail(const NativePath &source, const NativePath &target)
{
    return QStringLiteral("Die Datei ") + quoted(source) + CR + QStringLiteral("konnte nicht nach ") + quoted(target) +
           CR + QStringLiteral("kopiert werden.");
}

QString deleteDetail(const NativePath &path)
{
    return QStringLiteral("Die Datei ") + quoted(path) + CR + QStringLiteral("konnte nicht gelöscht werden.");
}

// The line that tells why a step was refused, where the error is a refusal and not the system's.
QString reason(int error)
{
    switch (error) {
    case FileChanged: return QStringLiteral("Die Datei wurde nach dem Einlesen verändert.");
    case FileAppeared: return QStringLiteral("Dort steht inzwischen eine Datei, die beim Einlesen noch nicht da war.");
    case FolderChanged:
        return QStringLiteral("Ein Ordner auf dem Weg zu dieser Datei ist nicht mehr der, der eingelesen wurde.");
    case SourceChangedWhileRead: return QStringLiteral("Die Datei wurde während des Kopierens verändert.");
    case TimeNotKept:
        return QStringLiteral("Das Ziel behält die Änderungszeit der Kopie nicht; die Kopie wurde verworfen.");
    case NoLeftFile: return QStringLiteral("In dieser Zeile gibt es links keine Datei.");
    case NoRightFile: return QStringLiteral("In dieser Zeile gibt es rechts keine Datei.");
    case NoLeftFolder: return QStringLiteral("Für die linke Spalte ist kein Ordner geladen.");
    case NoRightFolder: return QStringLiteral("Für die rechte Spalte ist kein Ordner geladen.");
    case TimeProvesNothing:
        return QStringLiteral("Die Datei wurde in der Sekunde des Einlesens geändert; ob sie seither noch einmal") + CR +
               QStringLiteral("geändert wurde, lässt sich nicht erkennen. Bitte neu vergleichen.");
    case LeftOut: return QStringLiteral("Die Datei oder ein Ordner auf dem Weg zu ihr ist vom Vergleich ausgeschlossen.");
    default: return QString();
    }
}

// A time in whole seconds that is not earlier than the second its folder was listed in cannot prove the file
// unchanged: a rewrite later in that second keeps it (git's "racily clean" entries); FAT rounds a time down
// to its step of two seconds. Times in the future count too.
bool timeProvesNothing(const LoadedFolder &side, const SeenFile &seen)
{
    return seen.modifiedNs == 0 && seen.modified >= side.listedAt - (side.twoSecondTimes ? 1 : 0);
}

NativePath fileNameOf(const NativePath &relative)
{
    return relative.mid(relative.lastIndexOf(Separator) + 1);
}

NativePath folderOf(const NativePath &relative)
{
    return relative.left(qMax<qsizetype>(0, relative.lastIndexOf(Separator)));
}

// The file system of the file relative, as the scan saw its folder.
quint64 deviceOf(const LoadedFolder &side, const NativePath &relative)
{
    const auto folder = side.folders.constFind(folderOf(relative));
    return folder != side.folders.cend() ? folder->device : side.seen.device;
}
} // namespace

Core::Outcome Core::attemptRemoving(const LoadedFolder &side, const NativePath &relative,
                                    const std::function<int(Removal)> &step, const QString &detail, bool &keepRow)
{
    const quint64 device = deviceOf(side, relative);
    const WithoutTrash rule = m_batchMode ? (m_requests.trash ? WithoutTrash::Refuse : WithoutTrash::ForGood)
                                          : m_withoutTrash;
    const QString where = QStringLiteral("Auf dem Laufwerk von ") + quoted(side.path + relative) +
                          QStringLiteral(" gibt es keinen Papierkorb.");
    bool passedOver = false;
    const Outcome outcome = attempt(
        [&] {
            const int error = step(m_forGoodOn.value(device, false) ? Removal::ForGood : Removal::ToTrash);
            if (error != NoTrash)
                return error;
            if (rule == WithoutTrash::ForGood) { // allowed beforehand, for file systems without a trash only
                m_forGoodOn.insert(device, true);
                return step(Removal::ForGood);
            }
            if (rule == WithoutTrash::Refuse) {
                message(where + QStringLiteral(" Die Datei bleibt, wie sie ist."), Host::Icon::Warning);
                passedOver = true;
                return 0;
            }
            if (!m_forGoodOn.contains(device)) {
                const bool yes = m_host.showMessage(where + CR + CR +
                                                        QStringLiteral("Sollen Dateien dort in diesem Abgleich "
                                                                       "endgültig gelöscht und ersetzt werden?"),
                                                    Host::Icon::Warning, Host::Buttons::YesNo) == Host::Answer::Yes;
                m_forGoodOn.insert(device, yes);
                if (yes)
                    return step(Removal::ForGood);
            }
            passedOver = true; // as if ignored: the file and its row stay
            return 0;
        },
        detail, keepRow);
    if (passedOver)
        keepRow = true;
    return passedOver ? Outcome::Ignored : outcome;
}

void Core::moveLeftoversAway(const LoadedFolder &side, const NativePath &relative, Folder &folder)
{
    const NativePath key = folderOf(relative);
    if (!side.leftovers.contains(key) || m_leftoversSeen.contains(side.path + key))
        return;
    m_leftoversSeen.insert(side.path + key);
    int moved = 0;
    m_fs.moveLeftoversToTrash(folder, moved);
    m_leftoversMoved += moved;
}

Core::Outcome Core::attempt(const Step &step, const QString &detail, bool &keepRow)
{
    for (;;) {
        const int error = step();
        if (error == 0)
            return Outcome::Done;
        const QString why = reason(error);
        // A row without a file on the step's side has no file to name: its reason alone says what is wrong.
        const QString lines = detail.isEmpty() ? why : why.isEmpty() ? detail : detail + CR + why;
        const QString text = QStringLiteral("Abgleichsfehler:") + CR + CR + lines + CR + CR +
                             QStringLiteral("Bitte quittieren oder abbrechen");
        switch (m_host.showMessage(text, Host::Icon::Critical, Host::Buttons::AbortRetryIgnore)) {
        case Host::Answer::Abort: return Outcome::Aborted;
        case Host::Answer::Retry: keepRow = false; continue;
        default: keepRow = true; return Outcome::Ignored;
        }
    }
}

std::unique_ptr<Folder> Core::openFolderOf(const LoadedFolder &side, const NativePath &relative, bool create,
                                           int &error)
{
    if (m_ignoring->excludesPath(relative)) {
        error = LeftOut;
        return nullptr;
    }
    // Opened afresh for every step: nothing stays open between two, so that a disk can be unmounted.
    std::unique_ptr<Folder> folder = m_fs.openFolder(side.path, side.seen, error);
    for (int from = 0, at; folder && (at = relative.indexOf(Separator, from)) >= 0; from = at + 1) {
        const auto seen = side.folders.constFind(relative.left(at));
        EntryInfo info;
        if (seen != side.folders.cend()) {
            info.kind = EntryKind::Folder;
            info.device = seen->device;
            info.inode = seen->inode;
            info.born = seen->born;
            info.link = seen->link;
        }
        folder = m_fs.openSubfolder(*folder, relative.mid(from, at - from),
                                    seen != side.folders.cend() ? &info : nullptr, create, error);
    }
    return folder;
}

void Core::PrepareTargetPath(const LoadedFolder &side, const NativePath &relative)
{
    int error = 0;
    openFolderOf(side, relative, true, error);
}

int Core::copyFile(const LoadedFolder &from, const NativePath &source, const SeenFile &sourceSeen,
                   const LoadedFolder &to, const NativePath &target, const SeenFile *targetSeen, Removal removal)
{
    int error = 0;
    const std::unique_ptr<Folder> sourceFolder = openFolderOf(from, source, false, error);
    const std::unique_ptr<InputFile> file =
        sourceFolder ? m_fs.openFile(*sourceFolder, fileNameOf(source), m_list.identity(sourceSeen), error) : nullptr;
    const std::unique_ptr<Folder> targetFolder = file ? openFolderOf(to, target, false, error) : nullptr;
    if (!targetFolder)
        return error;
    if (targetSeen && timeProvesNothing(to, *targetSeen))
        return TimeProvesNothing;
    moveLeftoversAway(to, target, *targetFolder);
    const EntryInfo targetIdentity = targetSeen ? m_list.identity(*targetSeen) : EntryInfo();
    // The way from the loaded folder once more, right before the copy takes its name: a folder moved out of
    // the tree during a long copy into it must not receive the file at its new place.
    const auto stillReached = [&] {
        int error = 0;
        const std::unique_ptr<Folder> again = openFolderOf(to, target, false, error);
        return !again ? (error ? error : FolderChanged) : again->isSameAs(*targetFolder) ? 0 : FolderChanged;
    };
    return m_fs.copyInto(*file, *targetFolder, fileNameOf(target), targetSeen ? &targetIdentity : nullptr,
                         removal, stillReached);
}

int Core::deleteFile(const LoadedFolder &side, const NativePath &name, const SeenFile &seen, Removal removal)
{
    if (timeProvesNothing(side, seen))
        return TimeProvesNothing;
    int error = 0;
    const std::unique_ptr<Folder> folder = openFolderOf(side, name, false, error);
    if (!folder)
        return error;
    moveLeftoversAway(side, name, *folder);
    return m_fs.deleteIn(*folder, fileNameOf(name), m_list.identity(seen), removal);
}

NativePath Core::sharedFolder()
{
    if (m_left.path.isEmpty() || m_right.path.isEmpty())
        return {};
    // One of the loaded folders inside the other, links resolved: where a file system makes inode numbers
    // up, the identities below cannot tell.
    const NativePath left = m_fs.canonicalPath(m_left.path), right = m_fs.canonicalPath(m_right.path);
    const auto inside = [](const NativePath &inner, const NativePath &outer) {
        return !inner.isEmpty() && !outer.isEmpty() &&
               (inner == outer || outer == QByteArrayLiteral("/") ||
                (inner.startsWith(outer) && inner[outer.size()] == Separator));
    };
    if (inside(left, right))
        return m_left.path;
    if (inside(right, left))
        return m_right.path;
    // A folder that both scans walked, by device and inode: a link or a bind mount from one tree into the other.
    // An identity of 0 and 0 is none the file system could tell.
    using Identity = QPair<quint64, quint64>;
    QSet<Identity> leftFolders;
    leftFolders.reserve(m_left.folders.size() + 1);
    const auto add = [&](quint64 device, quint64 inode) {
        if (device != 0 || inode != 0)
            leftFolders.insert({device, inode});
    };
    add(m_left.seen.device, m_left.seen.inode);
    for (const SeenFolder &folder : m_left.folders)
        add(folder.device, folder.inode);
    if (leftFolders.contains(Identity(m_right.seen.device, m_right.seen.inode)))
        return m_right.path;
    for (auto folder = m_right.folders.cbegin(); folder != m_right.folders.cend(); ++folder) {
        if (leftFolders.contains(Identity(folder->device, folder->inode)))
            return m_right.path + folder.key();
    }
    return {};
}

void Core::RunSynchronisation()
{
    if (m_busy)
        return;
    // Trees that share a folder reach one file through two rows: a step could replace the newer version
    // with the older one, or delete the file it just copied. Comparing them is harmless; changing is not.
    if (const NativePath shared = sharedFolder(); !shared.isEmpty()) {
        message(QStringLiteral("Der Abgleich wird nicht ausgeführt:") + CR + QStringLiteral("Der Ordner ") +
                    quoted(shared) + QStringLiteral(" gehört zu beiden Seiten.") + CR +
                    QStringLiteral("Ein Ordner liegt im anderen oder ist über eine Verknüpfung mit ihm verbunden;") +
                    CR + QStringLiteral("eine Datei wäre so über zwei Zeilen erreichbar."),
                Host::Icon::Critical);
        return;
    }
    BusyScope busy(*this);
    EnableCompareCommand(false);
    SetStatus(2, QStringLiteral("Datenabgleich läuft ..."));
    m_forGoodOn.clear();
    m_leftoversSeen.clear();
    m_leftoversMoved = 0;

    const int n = m_list.count();
    // Handled rows leave the list in runs: the view relays out all its rows after each removal it is
    // told of. A run is given up when a kept row ends it, when the window is due to repaint, and at the end.
    int removeFrom = n, removeCount = 0;
    auto removePending = [&] {
        m_list.removeRowRange(removeFrom, removeCount);
        removeCount = 0;
    };
    for (int i = n; i >= 1; --i) {
        const Row row = m_list.row(i - 1);
        bool keepRow = false;
        Outcome outcome = Outcome::Done;

        const auto refused = [](int error) -> Step { return [error] { return error; }; };
        // A file is deleted only while it is the file the load saw: a file changed since then holds work
        // that the comparison never judged.
        const auto removeOn = [&](bool right) {
            const LoadedFolder &side = right ? m_right : m_left;
            const NativePath &name = right ? row.rightName : row.leftName;
            if (name.isEmpty())
                return attempt(refused(right ? NoRightFile : NoLeftFile), QString(), keepRow);
            return attemptRemoving(
                side, name, [&, right](Removal removal) { return deleteFile(side, name, right ? row.right : row.left, removal); },
                deleteDetail(side.path + name), keepRow);
        };
        // A copy keeps the file's relative name on the other side, or writes onto the file the row shows there.
        const auto copyAcross = [&](bool toRight) {
            const LoadedFolder &from = toRight ? m_left : m_right, &to = toRight ? m_right : m_left;
            const NativePath &source = toRight ? row.leftName : row.rightName;
            const NativePath &existing = toRight ? row.rightName : row.leftName;
            const NativePath target = existing.isEmpty() ? source : existing;
            if (source.isEmpty())
                return attempt(refused(toRight ? NoLeftFile : NoRightFile), QString(), keepRow);
            const QString detail = copyDetail(from.path + source, to.path + target);
            if (to.path.isEmpty())
                return attempt(refused(toRight ? NoRightFolder : NoLeftFolder), detail, keepRow);
            PrepareTargetPath(to, target);
            const SeenFile &targetSeen = toRight ? row.right : row.left;
            return attemptRemoving(
                to, target,
                [&](Removal removal) {
                    return copyFile(from, source, toRight ? row.left : row.right, to, target,
                                    existing.isEmpty() ? nullptr : &targetSeen, removal);
                },
                detail, keepRow);
        };

        switch (row.marker) {
        case Marker::CopyRight: outcome = copyAcross(true); break;
        case Marker::CopyLeft: outcome = copyAcross(false); break;
        case Marker::DeleteRight: outcome = removeOn(true); break;
        case Marker::DeleteLeft: outcome = removeOn(false); break;
        case Marker::DeleteBoth:
            outcome = removeOn(false);
            if (outcome != Outcome::Aborted)
                outcome = removeOn(true);
            break;
        default: break;
        }
        if (outcome == Outcome::Aborted)
            break; // this row and every row above it stay as they are

        m_host.setProgress((1.0 - double(i) / double(n)) * 100.0);
        if (keepRow) {
            removePending();
        } else {
            removeFrom = i - 1;
            ++removeCount;
        }
        if (!m_host.speedChecked()) {
            if (repaintDue())
                removePending();
            m_host.yield();
            if (stopping())
                break; // the program ends: the rows not reached stay as they are
        }
    }
    removePending();

    m_host.setProgress(0);
    if (stopping()) {
        SetStatus(2, QStringLiteral("Datenabgleich abgebrochen."));
    } else if (m_leftoversMoved == 0) {
        SetStatus(2, QStringLiteral("Datenabgleich beendet."));
    } else {
        const QString moved = QStringLiteral("Reste abgebrochener Kopien in den Papierkorb verschoben: ") +
                              QString::number(m_leftoversMoved);
        SetStatus(2, QStringLiteral("Datenabgleich beendet. ") + moved);
        if (!m_batchMode)
            message(moved, Host::Icon::Information);
    }
    EnableCompareCommand(true);
}

} // namespace common

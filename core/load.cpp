// Loading a folder into a column of the list: the scan, then its files paired into rows and sorted.

#include "core.h"

#include "folderlister.h"
#include "names.h"
#include "rightpairing.h"

#include <optional>

namespace common {

void Core::LoadFolder(NativePath &folder, bool &toLeft)
{
    if (m_busy)
        return;
    if (!toLeft && m_list.count() > 0 && leftMustLoadAgain(folder)) {
        NativePath left = m_left.path;
        bool asLeft = true;
        LoadFolder(left, asLeft);
        if (stopping())
            return;
    }
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
        m_left = LoadedFolder();
        m_left.path = folder;
        m_right = LoadedFolder();
        m_list.setHeaderText(ComparisonList::LeftNameColumn, DisplayName(folder));
        m_list.setHeaderText(ComparisonList::RightNameColumn, QStringLiteral("Zweiter Ordner"));
        m_list.ClearList();
    } else {
        m_right = LoadedFolder();
        m_right.path = folder;
        m_list.setHeaderText(ComparisonList::RightNameColumn, DisplayName(folder));
        m_list.forgetRightSide();
    }

    takeUpIgnoreFiles(folder, toLeft);
    // A right load planned to follow sorts the whole list, which no order of the rows before changes: a
    // million left rows sorted first would be work thrown away.
    const bool rightFollows = toLeft && !m_planned.right.isEmpty();
    m_fileList.clearForNextScan(); // empty but for the room a left load may have kept
    m_scanned = LoadedFolder();
    m_host.setProgress(25);
    SetStatus(2, QStringLiteral("Aufstellung der Dateien im betr. Verzeichnis läuft ..."));
    // A right load pairs its files in step while the scan goes on: the walk then runs while the listers
    // list, not after them on one core.
    const auto pauseHere = [this] { return pause(); };
    const RightPairing::NameOf nameOf = [this](size_t i) -> const NativePath & { return m_fileList[i].name; };
    std::optional<RightPairing> pairing;
    if (!toLeft)
        pairing.emplace(m_list, pauseHere);
    ScanFolder(folder, toLeft ? std::function<void()>() : [&] { pairing->pairInStep(m_fileList.size(), nameOf); });
    if (rightFollows && m_listedAhead)
        m_listedAhead->holdMoreAhead(); // while the rows are made, the right tree lists on the other core
    LoadedFolder &loaded = toLeft ? m_left : m_right;
    loaded.seen = m_scanned.seen;
    loaded.listedAt = m_scanned.listedAt;
    loaded.twoSecondTimes = m_fs.keepsTwoSecondTimes(folder);
    loaded.folders = std::move(m_scanned.folders);
    loaded.leftovers = std::move(m_scanned.leftovers);
    m_host.setProgress(50);
    SetStatus(2, QStringLiteral("Eintragung der Dateien in die Vergleichsliste läuft ..."));

    if (!toLeft && !stopping())
        pairing->pairTheRest(m_fileList.size(), nameOf);
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
    // Nothing reads the scan's list after the load; a million paths are not kept for nothing. Its room is
    // kept only for the right load that follows at once.
    if (rightFollows && !stopping())
        m_fileList.clearForNextScan();
    else
        m_fileList.clear();
    // Stopped (Escape, or the program ends): half a tree would pair as orphans, and a half sorted list is
    // out of its header's order, so nothing stays loaded.
    const auto stopped = [&] {
        if (!stopping())
            return false;
        m_left = LoadedFolder();
        m_right = LoadedFolder();
        m_leftOut.clear();
        m_list.setHeaderText(ComparisonList::LeftNameColumn, QStringLiteral("Erster Ordner"));
        m_list.setHeaderText(ComparisonList::RightNameColumn, QStringLiteral("Zweiter Ordner"));
        m_list.ClearList();
        SetStatus(1, QString());
        SetStatus(2, QStringLiteral("Einlesen abgebrochen."));
        busy.end();
        m_host.setBusy(false);
        m_host.setProgress(0);
        EnableCompareCommand(true);
        return true;
    };
    if (stopped())
        return;
    m_list.appendRows(newRows);
    if (m_list.count() > RowsBetweenPauses)
        pause(); // the view takes in the new rows
    if (!toLeft)
        m_list.announceChanges();

    SetStatus(2, QStringLiteral("Eintragung der Dateien abgeschlossen."));
    const int rows = m_list.count();
    SetStatus(1, QString::number(rows) + (rows == 1 ? QStringLiteral(" Datei") : QStringLiteral(" Dateien")));
    // Without yields (SpeedCheck) nothing can look at the rows while they are sorted.
    if (!rightFollows)
        m_list.sortNow(m_host.speedChecked() ? std::function<bool()>() : pauseHere);
    if (stopped())
        return;
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

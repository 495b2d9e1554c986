#pragma once

#include "batch.h"
#include "comparison.h"
#include "comparisonlist.h"
#include "filesystem.h"
#include "host.h"
#include "loadedfolder.h"
#include "names.h"
#include "scan.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace common {

class FolderLister;

/// What a synchronisation does with a file to delete or replace where its file system has no trash: ask
/// once per run and file system (the window), refuse the step (unattended runs), or delete it for good.
enum class WithoutTrash { Ask, Refuse, ForGood };

/// The comparison core: the module state (folder paths, the scan's file list, batch mode) and the long
/// operations on the comparison list. It reaches the window only through Host and the disk only through
/// FileSystem. One long operation runs at a time: a load or comparison asked for while another one is
/// yielding is refused quietly, so that it cannot work on rows that are being changed.
class Core
{
public:
    Core(Host &host, FileSystem &fileSystem);
    ~Core();

    ComparisonList &list() { return m_list; }
    const NativePath &LeftPath() const { return m_left.path; }
    const NativePath &RightPath() const { return m_right.path; }
    /// The files found by ScanFolder; a load empties it again once the rows are made.
    const ScannedFiles &FileList() const { return m_fileList; }
    bool BatchMode() const { return m_batchMode; }
    void setBatchMode(bool on) { m_batchMode = on; }
    BatchRequests &batchRequests() { return m_requests; }
    /// A load or comparison is under way (and yielding).
    bool isBusy() const { return m_busy; }
    /// The running operation, or the batch run, is to stop at its next pause (Escape); nothing happens
    /// outside one. The request holds until the next operation begins outside a batch run.
    void StopOperation();
    /// The operation was asked to stop, or the program is to end.
    bool stopRequested() const { return stopping(); }
    /// Where a file has no trash, outside the batch mode (whose control file says it).
    void setWithoutTrash(WithoutTrash rule) { m_withoutTrash = rule; }

    /// Writes panel 1 (row count) or panel 2 (status, shown after "Status: " unless empty).
    void SetStatus(int panel, const QString &text);
    void EnableCompareCommand(bool enabled);

    /// Appends all files in folder and its subfolders to FileList; entries whose name starts with a dot
    /// and entries the ignore patterns leave out are passed over, entries that cannot be inspected are
    /// reported and left out. The folders it walks are recorded for the load. filesFound, where given, is
    /// called after each folder, with the files found so far in FileList.
    void ScanFolder(const NativePath &folder, const std::function<void()> &filesFound = {});
    /// Patterns that leave entries of both trees out, after those of the folders' ignore files (the
    /// command line's).
    void setExclusions(const IgnorePatterns &patterns) { m_exclusions = patterns; }
    /// Both folders of a run are known before the first load (the command line, batch mode, F5): both
    /// ignore files are read now, so that neither load lists what either leaves out, and the right folder
    /// is listed ahead, on what the left load leaves of the cores; its own load takes the listings. The left
    /// load leaves its rows unsorted: the right one sorts them all.
    void PlanBothLoads(const NativePath &left, const NativePath &right);
    /// Sorts the list by a column (a click on its header): as an operation of its own that pauses every
    /// 25 ms, or, while another one is under way, when that one ends.
    void SortList(int column, Qt::SortOrder order);
    /// Loads a folder into the left column (starting over) or the right column (pairing by name).
    /// folder receives the path with its trailing separator; toLeft becomes true when the list was empty.
    void LoadFolder(NativePath &folder, bool &toLeft);
    /// Asks the user for a folder and loads it (nothing happens when the user cancels).
    void AskForFolder(bool &toLeft);
    /// A drop of paths onto the list at dropX: exactly one folder is loaded, left of column 1's edge into
    /// the left column; anything else is refused with a message.
    void DropFolder(const std::vector<NativePath> &paths, int dropX);
    /// Writes a verdict into every row's marker and shows the report (binaryMode: sizes and contents;
    /// otherwise the stamps).
    ComparisonReport RunComparison(bool binaryMode);
    /// The totals of the last comparison run.
    const ComparisonReport &lastReport() const { return m_lastReport; }

    /// Carries out the action of every row's marker, from the last row to the first, and takes each handled
    /// row off the list; a failure asks Abort, Retry or Ignore, and Ignore keeps the row. What it deletes or
    /// replaces goes to the trash.
    void RunSynchronisation();
    /// Creates every missing folder on the way to the file relative in the loaded folder; the first failure
    /// ends it silently.
    void PrepareTargetPath(const LoadedFolder &side, const NativePath &relative);

    /// Puts the rows on the clipboard as text: left name, tab, marker, tab, right name, CR LF.
    void ExportListToClipboard();

    /// Runs the control file named by the command line unattended, after checking it as a whole (read
    /// once); does nothing for an empty command line.
    void RunBatchMode(const QString &commandLine);
    /// The same for a control file named as it stands, byte for byte (a name that is no UTF-8 is found).
    void RunBatchMode(const NativePath &controlFile);

private:
    /// Marks a long operation: the core refuses a second one and the list defers sorting until it ends.
    class BusyScope
    {
    public:
        explicit BusyScope(Core &core);
        ~BusyScope() { end(); }
        void end();

    private:
        Core &m_core;
        bool m_active = true;
    };

    void message(const QString &text, Host::Icon icon = Host::Icon::None);
    /// Yields unless SpeedCheck is ticked; false when the program is to end, so that the work stops here.
    bool pause();
    /// The operation is to stop, or the program to end: a long operation stops at its next yield.
    bool stopping() const { return m_stopAsked || m_host.stopRequested(); }

    enum class Outcome { Done, Ignored, Aborted };
    /// One file operation of a synchronised row: 0 or an error.
    using Step = std::function<int()>;
    /// Runs a step and asks Abort, Retry or Ignore until it succeeds or the user gives up.
    Outcome attempt(const Step &step, const QString &detail, bool &keepRow);
    /// The same for a step that deletes or replaces the file relative of side: into the trash, or where its
    /// file system has none, as the run's rule for that says.
    Outcome attemptRemoving(const LoadedFolder &side, const NativePath &relative,
                            const std::function<int(Removal)> &step, const QString &detail, bool &keepRow);
    /// Moves the leftovers of gone copies in the folder of relative into the trash, once a run.
    void moveLeftoversAway(const LoadedFolder &side, const NativePath &relative, Folder &folder);
    /// Reads the ignore file of a folder about to be loaded (unless planned) and puts the patterns of both
    /// sides in effect. A right folder's patterns take the left rows they leave out off the list, until
    /// another right folder is loaded.
    void takeUpIgnoreFiles(const NativePath &folder, bool toLeft);
    /// The patterns of a folder's ignore file; a file that cannot be read is reported and adds none.
    IgnorePatterns readIgnoreFile(const NativePath &folder);
    /// The patterns in effect for two folders: the left file's, the right file's, then the exclusions.
    IgnorePatterns inEffect(const IgnorePatterns &leftFile, const IgnorePatterns &rightFile) const;
    /// Reads the ignore file of a right folder about to be loaded beside the left one, unless a plan did.
    /// True where the left load may have left out what its patterns take in: the left folder loads again.
    bool leftMustLoadAgain(const NativePath &right);
    /// Opens the folder of the file relative in a loaded folder, one folder at a time as the scan walked it.
    /// A path the ignore patterns leave out is refused.
    std::unique_ptr<Folder> openFolderOf(const LoadedFolder &side, const NativePath &relative, bool create,
                                         int &error);
    int copyFile(const LoadedFolder &from, const NativePath &source, const SeenFile &sourceSeen,
                 const LoadedFolder &to, const NativePath &target, const SeenFile *targetSeen, Removal removal);
    int deleteFile(const LoadedFolder &side, const NativePath &name, const SeenFile &seen, Removal removal);
    QString checkFolder(const NativePath &path, const QString &side);
    /// A folder that both loaded trees reach, where one lies inside the other or is linked or mounted into
    /// it: one file would be reached through two rows. Empty where they share none.
    NativePath sharedFolder();

    Host &m_host;
    FileSystem &m_fs;
    ComparisonList m_list;
    LoadedFolder m_left;
    LoadedFolder m_right;
    ScannedFiles m_fileList;
    LoadedFolder m_scanned; ///< the folders the scan walked, for the load to keep
    std::unique_ptr<FolderLister> m_listedAhead; ///< listing a folder to be loaded later (PlanBothLoads)
    NativePath m_listedAheadPath;
    IgnorePatterns m_exclusions;
    /// The patterns in effect for the loaded folders: their ignore files' and the exclusions.
    std::shared_ptr<const IgnorePatterns> m_ignoring = std::make_shared<IgnorePatterns>();
    IgnorePatterns m_rightFileAtLeftLoad; ///< the right ignore file in effect for the left load, if planned
    std::vector<Row> m_leftOut;      ///< left rows that the right folder's patterns took off the list
    /// The ignore files read by PlanBothLoads, for the two loads it planned.
    struct
    {
        NativePath left, right;
        IgnorePatterns leftFile, rightFile;
    } m_planned;
    bool m_batchMode = false;
    BatchRequests m_requests;
    ComparisonReport m_lastReport;
    bool m_busy = false;
    bool m_stopAsked = false;
    QElapsedTimer m_sinceRepaint;
    WithoutTrash m_withoutTrash = WithoutTrash::Ask;
    /// Within one synchronisation: the file systems without a trash, by device, and whether the user
    /// allowed deleting there for good; the folders whose leftovers were looked at, and how many moved.
    QHash<quint64, bool> m_forGoodOn;
    QSet<NativePath> m_leftoversSeen;
    int m_leftoversMoved = 0;

    /// The window repaints the list at most this often during a long operation, however often it yields:
    /// each announcement costs the view time in proportion to the rows it covers.
    static constexpr int RepaintInterval = 100;
    bool repaintDue();
};

} // namespace common

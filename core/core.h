#pragma once

#include "comparisonlist.h"
#include "filesystem.h"
#include "host.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace common {

/// A file found by the scan: its path relative to the scanned folder and its modification time from the
/// scan's own stat.
struct ScannedFile
{
    NativePath name;
    qint64 modified = 0;
    qint64 size = 0;
};

/// What the control file of a batch run asks for.
struct BatchRequests
{
    bool binary = false;
    bool age = false;
    bool synchronise = false;
    bool clipboard = false;
    bool end = false;
};

/// The totals of one comparison run and the report composed from them.
struct ComparisonReport
{
    qint64 rows = 0;
    qint64 orphans = 0;
    qint64 differentLength = 0;
    qint64 differentContent = 0;
    qint64 identical = 0;
    qint64 differentAge = 0;
    qint64 equalAge = 0;
    qint64 unreadable = 0;
    bool allEqual = false; ///< "Beide Verzeichnisse sind vollkommen identisch!"
    QString text;
};

/// The comparison core: the module state (folder paths, the scan's file list, batch mode) and the long
/// operations on the comparison list. It reaches the window only through Host and the disk only through
/// FileSystem. One long operation runs at a time: a load or comparison asked for while another one is
/// yielding is refused quietly, so that it cannot work on rows that are being changed.
class Core
{
public:
    Core(Host &host, FileSystem &fileSystem);

    ComparisonList &list() { return m_list; }
    const NativePath &LeftPath() const { return m_leftPath; }
    const NativePath &RightPath() const { return m_rightPath; }
    /// The files found by ScanFolder; a load empties it again once the rows are made.
    const std::vector<ScannedFile> &FileList() const { return m_fileList; }
    bool BatchMode() const { return m_batchMode; }
    void setBatchMode(bool on) { m_batchMode = on; }
    BatchRequests &batchRequests() { return m_requests; }
    /// A load or comparison is under way (and yielding).
    bool isBusy() const { return m_busy; }

    /// Writes panel 1 (row count) or panel 2 (status, shown after "Status: " unless empty).
    void SetStatus(int panel, const QString &text);
    void EnableCompareCommand(bool enabled);

    /// Appends all files in folder and its subfolders to FileList; entries whose name starts with a dot
    /// are left out, entries that cannot be inspected are reported and left out.
    void ScanFolder(const NativePath &folder);
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
    /// row off the list; a failure asks Abort, Retry or Ignore, and Ignore keeps the row.
    void RunSynchronisation();
    /// Creates every missing folder on the way to target; the first failure ends it silently.
    void PrepareTargetPath(const NativePath &target);

    /// Puts the rows on the clipboard as text: left name, tab, marker, tab, right name, CR LF.
    void ExportListToClipboard();

    /// Runs the control file named by the command line unattended, after checking it as a whole; does
    /// nothing for an empty command line.
    void RunBatchMode(const QString &commandLine);
    /// A value of an INI file read like a Windows profile (see ProfileValue); defaultValue when the file
    /// cannot be read or has no such entry.
    QString ReadIniString(const QString &section, const QString &key, const QString &defaultValue,
                          const NativePath &fileName);

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
    enum class Outcome { Done, Ignored, Aborted };
    /// One file operation of a synchronised row: 0 or an error; why may receive an extra line for the message.
    using Step = std::function<int(QString &why)>;
    /// Runs a step and asks Abort, Retry or Ignore until it succeeds or the user gives up.
    Outcome attempt(const Step &step, const QString &detail, bool &keepRow);
    /// 0 when path is still what the load saw: the file with the recorded stamp, or nothing where the row
    /// had no file (missingIsFine: a vanished file is no obstacle either).
    int checkUnchanged(const NativePath &path, bool hadFile, Stamp recorded, bool missingIsFine, QString &why);
    QString checkFolder(const NativePath &path, const QString &side);

    Host &m_host;
    FileSystem &m_fs;
    ComparisonList m_list;
    NativePath m_leftPath;
    NativePath m_rightPath;
    std::vector<ScannedFile> m_fileList;
    bool m_batchMode = false;
    BatchRequests m_requests;
    ComparisonReport m_lastReport;
    bool m_busy = false;
    QElapsedTimer m_sinceRepaint;

    /// The window repaints the list at most this often during a long operation, however often it yields:
    /// each announcement costs the view time in proportion to the rows it covers.
    static constexpr int RepaintInterval = 100;
    bool repaintDue();
};

} // namespace common

#pragma once

#include "filesystem.h"
#include "stamp.h"

#include "names.h"

#include <QAbstractTableModel>
#include <QElapsedTimer>

#include <functional>
#include <vector>

namespace common {

/// The relation marker in the middle column of a row.
enum class Marker : quint8 {
    None,        ///< "" not compared yet
    Equal,       ///< "="
    Shorter,     ///< "<" left file shorter
    Longer,      ///< ">" left file longer
    Different,   ///< "<>" same size, other content
    Orphan,      ///< "?" file on one side only
    OrphanLeft,  ///< "? -->" left file only, copying it to the right is suggested
    OrphanRight, ///< "? <--" right file only, copying it to the left is suggested
    CopyRight,   ///< "-->"
    CopyLeft,    ///< "<--"
    DeleteRight, ///< "X->"
    DeleteLeft,  ///< "<-X"
    DeleteBoth,  ///< "XX"
    Skip,        ///< "]["
    Unreadable,  ///< "!" the pair could not be read, so no verdict was reached
};

/// The text of a marker as shown and exported.
QString MarkerText(Marker marker);

/// What the scan saw of a file, kept with its row: the file's stamp, and its identity for the synchronisation,
/// which acts only on the file the user saw. 32 bytes: the device is an index into the list's device table.
struct SeenFile
{
    quint64 inode = 0;
    qint64 size = -1; ///< -1: not known
    qint64 modified = 0; ///< seconds since the epoch; the stamp is its local time
    quint32 modifiedNs = 0;
    quint16 device = 0;
    bool link = false;
};

/// One row: at most one left and one right file of the same relative name.
struct Row
{
    NativePath leftName;
    NativePath rightName;
    SeenFile left;
    SeenFile right;
    Marker marker = Marker::None;
};

/// The comparison list: the one store of rows, shown directly by the window's list view.
/// Columns: left name, marker, right name, a spare column, and the hidden left and right stamps.
/// Field writes are silent; a writer calls announceChanges() before it yields and when it is done, so that
/// a million writes cost one repaint.
class ComparisonList : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { LeftNameColumn, MarkerColumn, RightNameColumn, SpareColumn, LeftStampColumn, RightStampColumn };
    static constexpr int ColumnCount = 6;

    explicit ComparisonList(QObject *parent = nullptr);

    int count() const { return int(m_rows.size()); }
    const Row &row(int position) const { return m_rows[size_t(position)]; }

    /// Moves rows to the end of the list (one insertion for the view, however many) and empties the vector.
    void appendRows(std::vector<Row> &rows);
    /// Removes count rows from position on; the rows behind them move up.
    void removeRowRange(int position, int count);
    /// Removes every row; headers, sort state and folder paths stay.
    void ClearList();

    void setMarker(int position, Marker marker) { m_rows[size_t(position)].marker = marker; }
    void setRightSide(int position, NativePath name, const SeenFile &seen);
    void clearRightNameAndMarker(int position);
    /// Tells the view that fields of the rows first to last (all rows by default) may have changed.
    void announceChanges(int first = 0, int last = -1);

    /// Header text of column 1 (LeftNameColumn) or 3 (RightNameColumn).
    void setHeaderText(int column, const QString &text);
    QString headerText(int column) const;

    /// Sort state: turning it on, or changing key or order while on, sorts all rows stably by the text of
    /// the sort column (names without regard to letter case).
    bool isSorted() const { return m_sorted; }
    int sortKey() const { return m_sortKey; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }
    void setSorted(bool sorted);
    void setSortKey(int column);
    void setSortOrder(Qt::SortOrder order);
    /// While frozen, a long operation addresses rows by position: sort requests only change the sort state,
    /// and the rows are sorted when the list thaws.
    void setFrozen(bool frozen);
    /// Turns sorting on and sorts at once, frozen or not, calling pause every few milliseconds of work
    /// (the rows move only at the end, so the view stays whole meanwhile); when pause returns false, the
    /// sort is given up and the rows stay where they are.
    void sortNow(const std::function<bool()> &pause);

    /// Width of column 1 in the list's horizontal coordinates, kept up to date by the view; a folder dropped
    /// left of it goes into the left column.
    int column1Width() const { return m_column1Width; }
    void setColumn1Width(int width) { m_column1Width = width; }

    /// Devices are kept with the rows as small indices into this table, which only grows.
    quint16 deviceIndex(quint64 device);
    SeenFile seen(const EntryInfo &info);
    /// The identity a seen file had, for a check by the file system.
    EntryInfo identity(const SeenFile &seen) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    void sortRows(const std::function<bool()> &pause = {});

    std::vector<Row> m_rows;
    QString m_headers[ColumnCount];
    bool m_sorted = false;
    int m_sortKey = 0;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    int m_column1Width = 0;
    bool m_frozen = false;
    bool m_sortPending = false;
    std::vector<quint64> m_devices;
};

/// Pairs the files of a right folder with the rows of the list by relative name. A file joins the row of
/// exactly its name; failing that, the row whose name differs from it only in letter case, where that row and
/// that file are the only ones of their folded name on either side without an exact partner. A row takes at
/// most one file: a letter-case twin never takes another one's place, and no file is hidden. Without twins
/// this is the first row, in the list's order, whose left name equals the file's without regard to case.
class RightPairing
{
public:
    /// Pairs count files named by nameOf; pause is called now and then and returns false to give the work up.
    RightPairing(const ComparisonList &list, size_t count, const std::function<const NativePath &(size_t)> &nameOf,
                 const std::function<bool()> &pause = {});
    /// False when the pairing was given up.
    bool complete() const { return m_complete; }
    /// The row position of the i-th file, or -1 where it needs a row of its own.
    int rowOf(size_t i) const { return m_rows[i]; }

private:
    std::vector<int> m_rows;
    bool m_complete = true;
};

/// A list longer than this gives the view a turn to take in new rows before it is sorted.
constexpr int RowsBetweenPauses = 65536;

/// Cuts long work by time, not by counts, so that the window answers within 100 ms on a slower machine as
/// well: called after each small piece of work (weighing pieces of some size, such as a row), it calls
/// pause whenever 25 ms have passed since its last pause; the clock is read every 64 pieces. Without a
/// pause function it never pauses. False: the work is given up.
class Pacer
{
public:
    /// A piece as large as a pause's worth of small ones: the clock is read at once.
    static constexpr unsigned Now = 64;

    explicit Pacer(std::function<bool()> pause) : m_pause(std::move(pause)) { m_clock.start(); }
    bool operator()(unsigned pieces = 1)
    {
        if (!m_pause || (m_pieces += pieces) < Now)
            return true;
        m_pieces = 0;
        if (m_clock.elapsed() < 25)
            return true;
        m_clock.restart();
        return m_pause();
    }

private:
    const std::function<bool()> m_pause;
    QElapsedTimer m_clock;
    unsigned m_pieces = 0;
};

} // namespace common

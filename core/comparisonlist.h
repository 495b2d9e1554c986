#pragma once

#include "filesystem.h"
#include "marker.h"

#include <QAbstractTableModel>

#include <functional>
#include <vector>

namespace common {

/// What the scan saw of a file, kept with its row: the file's stamp, and its identity for the synchronisation,
/// which acts only on the file the user saw. 40 bytes: the device is an index into the list's device table.
struct SeenFile
{
    quint64 inode = 0;
    qint64 size = -1; ///< -1: not known
    qint64 modified = 0; ///< seconds since the epoch; the stamp is its local time
    quint32 modifiedNs = 0;
    quint32 changeTag = 0; ///< see EntryInfo
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
    /// Takes the rows for which leftOut holds off the list, in their order.
    std::vector<Row> takeRowsIf(const std::function<bool(const Row &)> &leftOut);
    /// Removes every row; headers, sort state and folder paths stay.
    void ClearList();

    void setMarker(int position, Marker marker) { m_rows[size_t(position)].marker = marker; }
    void setRightSide(int position, NativePath name, const SeenFile &seen);
    /// Before a new right folder: the rows of the old one's files alone go, every other row keeps its left file
    /// only, without a marker.
    void forgetRightSide();
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
    bool m_sortUnderWay = false; ///< a sort runs, and may be pausing
    bool m_sortPending = false;
    std::vector<quint64> m_devices;
};

/// A list longer than this gives the view a turn to take in new rows before it is sorted.
constexpr int RowsBetweenPauses = 65536;

} // namespace common

#pragma once

#include <QByteArray>
#include <QTableView>

#include <vector>

class QHeaderView;

/// The view of the comparison list: a report of rows of one height under a header of columns. A table
/// view keeps no item per row, so that taking in or reordering a million rows costs the window no
/// relayout of them all; and a change of fields only needs the visible rows repainted. It takes drops of
/// local files and tells of its mouse buttons and of the keys that ask for a row menu.
class ListView : public QTableView
{
    Q_OBJECT
public:
    explicit ListView(QWidget *parent = nullptr);
    /// The column header.
    QHeaderView *header() const { return horizontalHeader(); }

Q_SIGNALS:
    /// A mouse button went down on the rows: 1 left, 2 right, 4 middle, 0 any other.
    void mouseDown(int button);
    /// A mouse button came up over the rows.
    void mouseUpInside();
    /// The Menu key or Shift+F10 asked for the row menu.
    void rowMenuKey();
    /// Local files were dropped on the rows at x in the viewport; each path with the bytes of its name.
    void pathsDropped(const std::vector<QByteArray> &paths, int x);

protected:
    bool event(QEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    /// Home and End, with Ctrl or without, go to the first and the last row.
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event = nullptr) const override;
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QList<int> &roles = QList<int>()) override;
};

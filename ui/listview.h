#pragma once

#include <QTableView>

class QHeaderView;

/// The view of the comparison list: a report of rows of one height under a header of columns. A table
/// view keeps no item per row, so that taking in or reordering a million rows costs the window no
/// relayout of them all; and a change of fields only needs the visible rows repainted.
class ListView : public QTableView
{
    Q_OBJECT
public:
    explicit ListView(QWidget *parent = nullptr);
    /// The column header.
    QHeaderView *header() const { return horizontalHeader(); }

protected:
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QList<int> &roles = QList<int>()) override;
};

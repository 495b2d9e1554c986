#pragma once

#include <QTreeView>

/// The view of the comparison list. Its rows are uniform and never change height, so a change of fields
/// only needs the visible rows repainted; the tree view's own handling walks every changed row, which costs
/// seconds when a comparison changes a million of them.
class ListView : public QTreeView
{
    Q_OBJECT
public:
    using QTreeView::QTreeView;

protected:
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QList<int> &roles = QList<int>()) override;
};

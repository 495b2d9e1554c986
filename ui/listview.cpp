#include "listview.h"

#include <QHeaderView>

ListView::ListView(QWidget *parent) : QTableView(parent)
{
    setShowGrid(false);
    setWordWrap(false);
    setTabKeyNavigation(false); // Tab leaves the list, as from any other control
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setHighlightSections(false);
}

void ListView::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles)
{
    if (!model() || model()->rowCount() == 0)
        return;
    const QModelIndex firstShown = indexAt(QPoint(0, 0));
    const QModelIndex lastShown = indexAt(QPoint(0, viewport()->height() - 1));
    const int first = qMax(topLeft.row(), firstShown.isValid() ? firstShown.row() : 0);
    const int last = qMin(bottomRight.row(), lastShown.isValid() ? lastShown.row() : model()->rowCount() - 1);
    if (first <= last)
        QTableView::dataChanged(model()->index(first, topLeft.column()), model()->index(last, bottomRight.column()),
                                roles);
}

#include "listview.h"

#include <QContextMenuEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QUrl>

namespace {

// Local paths of a drag, with the bytes of each name: the URL keeps them percent-encoded.
std::vector<QByteArray> droppedPaths(const QMimeData *data)
{
    std::vector<QByteArray> paths;
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile())
            paths.push_back(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
    }
    return paths;
}

// A header that shortens a text too long for its section in the middle, with "…", so that the last folder
// names of a path stay readable (the header view itself only cuts it off).
class ListHeader : public QHeaderView
{
public:
    explicit ListHeader(QWidget *parent) : QHeaderView(Qt::Horizontal, parent) {}

protected:
    void paintSection(QPainter *painter, const QRect &rect, int section) const override
    {
        QStyleOptionHeader option;
        initStyleOption(&option);
        option.rect = rect;
        option.section = section;
        option.text = model()->headerData(section, orientation()).toString();
        option.textAlignment = Qt::Alignment(model()->headerData(section, orientation(), Qt::TextAlignmentRole).toInt());
        if (isSortIndicatorShown() && sortIndicatorSection() == section)
            option.sortIndicator = sortIndicatorOrder() == Qt::AscendingOrder ? QStyleOptionHeader::SortDown
                                                                              : QStyleOptionHeader::SortUp;
        const int margin = style()->pixelMetric(QStyle::PM_HeaderMargin, &option, this);
        const int arrow = option.sortIndicator == QStyleOptionHeader::None
                              ? 0
                              : style()->pixelMetric(QStyle::PM_HeaderMarkSize, &option, this) + margin;
        option.text = option.fontMetrics.elidedText(option.text, Qt::ElideMiddle, rect.width() - 2 * margin - arrow);
        style()->drawControl(QStyle::CE_Header, &option, painter, this);
    }
};

} // namespace

ListView::ListView(QWidget *parent) : QTableView(parent)
{
    setHorizontalHeader(new ListHeader(this));
    setShowGrid(false);
    setWordWrap(false);
    setTabKeyNavigation(false); // Tab leaves the list, as from any other control
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setHighlightSections(false);
}

bool ListView::event(QEvent *event)
{
    // The Menu key and Shift+F10 open the row menu for the selected rows, as a right click does.
    const auto *key = event->type() == QEvent::KeyPress ? static_cast<QKeyEvent *>(event) : nullptr;
    const bool menuKey = key && (key->key() == Qt::Key_Menu ||
                                 (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier));
    const bool keyboardMenu = event->type() == QEvent::ContextMenu &&
                              static_cast<QContextMenuEvent *>(event)->reason() == QContextMenuEvent::Keyboard;
    if (menuKey || keyboardMenu) {
        Q_EMIT rowMenuKey();
        return true;
    }
    return QTableView::event(event);
}

bool ListView::viewportEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const int code = mouse->button() == Qt::LeftButton    ? 1
                         : mouse->button() == Qt::RightButton ? 2
                         : mouse->button() == Qt::MiddleButton ? 4
                                                               : 0;
        Q_EMIT mouseDown(code);
        break;
    }
    case QEvent::MouseButtonRelease:
        if (viewport()->rect().contains(static_cast<QMouseEvent *>(event)->position().toPoint()))
            Q_EMIT mouseUpInside();
        break;
    case QEvent::ToolTip:
        // A row's details are tips like the others: "ToolTi&ps anzeigen" switches them off with the hint.
        if (toolTip().isEmpty())
            return true;
        break;
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDragMoveEvent *>(event);
        if (drag->mimeData()->hasUrls())
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        const std::vector<QByteArray> paths = droppedPaths(drop->mimeData());
        drop->acceptProposedAction();
        Q_EMIT pathsDropped(paths, qRound(drop->position().x()));
        return true;
    }
    default: break;
    }
    return QTableView::viewportEvent(event);
}

QModelIndex ListView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    // As in a file manager's list: the ends of the list, not of the current row.
    if (action == MoveHome || action == MoveEnd)
        modifiers |= Qt::ControlModifier;
    return QTableView::moveCursor(action, modifiers);
}

QItemSelectionModel::SelectionFlags ListView::selectionCommand(const QModelIndex &index, const QEvent *event) const
{
    // Ctrl+Home and Ctrl+End select the row they go to, as Home and End do; Ctrl with any other key only
    // moves the current row.
    const auto *key = event && event->type() == QEvent::KeyPress ? static_cast<const QKeyEvent *>(event) : nullptr;
    if (key && (key->key() == Qt::Key_Home || key->key() == Qt::Key_End) &&
        (key->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier)
        return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
    return QTableView::selectionCommand(index, event);
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

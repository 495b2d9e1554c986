#include "screenfit.h"
#include "modresizeapp.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QScreen>
#include <QStyle>
#include <QTableView>
#include <QWidget>

using namespace ModresizeApp;

ScreenFit::ScreenFit(QWidget &window, QSize design) : m_window(window), m_design(design) {}

QSize ScreenFit::screenRoom() const
{
    // The window's frame is not known before it is shown: leave room for a title bar.
    return m_window.screen()->availableGeometry().size() -
           QSize(0, m_window.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &m_window));
}

bool ScreenFit::fitFont(QSize room)
{
    auto fits = [&] {
        const TwipScale scale = TwipsPerPixel(&m_window);
        return m_design.width() / scale.x <= room.width() && m_design.height() / scale.y <= room.height();
    };
    if (fits())
        return false;
    QFont font = m_window.font();
    do {
        if (font.pointSizeF() > 0)
            font.setPointSizeF(font.pointSizeF() - 0.5);
        else
            font.setPixelSize(font.pixelSize() - 1);
        m_window.setFont(font);
    } while (!fits() && (font.pointSizeF() > 6 || font.pixelSize() > 8));
    return true;
}

void ScreenFit::placeForFont()
{
    for (QWidget *control : m_window.findChildren<QWidget *>()) {
        PlaceAgain(control);
        // A list's rows are a line of its font high, with a little room, at whatever font the window got.
        if (auto *list = qobject_cast<QTableView *>(control))
            list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 4);
    }
    WriteProperty(&m_window, "Width", m_design.width());
    WriteProperty(&m_window, "Height", m_design.height());
    fitFrames();
}

void ScreenFit::fitFrames()
{
    for (QGroupBox *frame : m_window.findChildren<QGroupBox *>()) {
        // A style may draw the frame's line below the height of its indicators where the font is smaller
        // (Fusion does): the contents then begin that much lower.
        const int indicator = frame->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorHeight, nullptr, frame);
        const int contentsTop = frame->contentsRect().top() + qMax(0, indicator - frame->fontMetrics().height());
        QList<QWidget *> moved = frame->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
        int top = contentsTop;
        for (const QWidget *control : moved)
            top = qMin(top, control->y());
        const int shift = contentsTop - top;
        if (shift == 0)
            continue;
        // With the frame's controls go the others on the frame and those below it.
        QWidget *parent = frame->parentWidget();
        const QRect area = frame->geometry();
        for (QWidget *control : parent->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
            if (control != frame && !control->isWindow() &&
                (area.contains(control->geometry()) || control->y() > area.bottom()))
                moved << control;
        }
        for (QWidget *control : moved)
            control->move(control->pos() + QPoint(0, shift));
        frame->resize(frame->width(), frame->height() + shift);
        parent->resize(parent->width(), parent->height() + shift);
    }
}

void ScreenFit::fitSize(QSize room)
{
    const QSize start = m_window.size().boundedTo(room);
    m_window.setMinimumSize(start);
    m_window.resize(start);
}

#include "ui/virtual_list.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace korvantis::ui {

namespace {
// Bounds the height cache; only rows near the screen are ever measured.
constexpr int kMaxCachedHeights = 20000;
}  // namespace

VirtualList::VirtualList(QWidget* parent) : QAbstractScrollArea(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setSingleStep(20);
}

int VirtualList::firstRow() const {
    return verticalScrollBar()->value();
}

int VirtualList::layoutWidth() const {
    return std::max(viewport()->width(), contentWidth());
}

int VirtualList::rowHeight(int row) const {
    const int width = layoutWidth();
    if (width != heightsWidth_ || heights_.size() > kMaxCachedHeights) {
        heights_.clear();
        heightsWidth_ = width;
    }
    auto it = heights_.constFind(row);
    if (it != heights_.constEnd()) {
        return *it;
    }
    const int h = std::max(1, measureRow(row, width));
    heights_.insert(row, h);
    return h;
}

int VirtualList::rowAt(int y) const {
    if (y < 0) {
        return -1;
    }
    const int n = count();
    const int bottom = viewport()->height();
    int top = 0;
    for (int row = firstRow(); row < n && top < bottom; ++row) {
        const int h = rowHeight(row);
        if (y < top + h) {
            return row;
        }
        top += h;
    }
    return -1;
}

QRect VirtualList::rowRect(int row) const {
    const int n = count();
    const int bottom = viewport()->height();
    int top = 0;
    for (int r = firstRow(); r < n && top < bottom; ++r) {
        const int h = rowHeight(r);
        if (r == row) {
            return QRect(-horizontalScrollBar()->value(), top, layoutWidth(), h);
        }
        top += h;
    }
    return {};
}

int VirtualList::rowsOnScreen() const {
    const int n = count();
    const int bottom = viewport()->height();
    int top = 0;
    int rows = 0;
    for (int row = firstRow(); row < n; ++row) {
        top += rowHeight(row);
        if (top > bottom) {
            break;
        }
        ++rows;
    }
    return std::max(1, rows);
}

void VirtualList::scrollToRow(int row) {
    if (row < 0 || row >= count()) {
        return;
    }
    if (row < firstRow()) {
        verticalScrollBar()->setValue(row);
        return;
    }
    // Lowest first row that still shows `row` entirely (or at the top when it
    // is taller than the screen).
    const int bottom = viewport()->height();
    int first = row;
    int used = rowHeight(row);
    while (first > firstRow() && used + rowHeight(first - 1) <= bottom) {
        --first;
        used += rowHeight(first);
    }
    if (first > firstRow()) {
        verticalScrollBar()->setValue(first);
    }
}

void VirtualList::updateScrollBars() {
    const int n = count();
    const int bottom = viewport()->height();
    // The last first row: as many rows from the end as fit on one screen.
    int last = std::max(0, n - 1);
    if (n > 0) {
        int used = rowHeight(n - 1);
        while (last > 0 && used + rowHeight(last - 1) <= bottom) {
            --last;
            used += rowHeight(last);
        }
    }
    QScrollBar* v = verticalScrollBar();
    v->setRange(0, last);
    v->setPageStep(std::max(1, rowsOnScreen() - 1));

    QScrollBar* h = horizontalScrollBar();
    const int content = contentWidth();
    h->setRange(0, std::max(0, content - viewport()->width()));
    h->setPageStep(viewport()->width());
}

void VirtualList::rowsAppended() {
    updateScrollBars();
    viewport()->update();
}

void VirtualList::contentChanged() {
    heights_.clear();
    updateScrollBars();
    viewport()->update();
}

void VirtualList::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const int n = count();
    const int bottom = viewport()->height();
    const int width = layoutWidth();
    const int x = -horizontalScrollBar()->value();
    int top = 0;
    for (int row = firstRow(); row < n && top < bottom; ++row) {
        const int h = rowHeight(row);
        paintRow(painter, row, QRect(x, top, width, h));
        top += h;
    }
}

void VirtualList::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void VirtualList::scrollContentsBy(int, int) {
    verticalScrollBar()->setPageStep(std::max(1, rowsOnScreen() - 1));
    viewport()->update();
}

void VirtualList::keyPressEvent(QKeyEvent* event) {
    QScrollBar* v = verticalScrollBar();
    switch (event->key()) {
        case Qt::Key_PageDown:
            v->triggerAction(QAbstractSlider::SliderPageStepAdd);
            break;
        case Qt::Key_PageUp:
            v->triggerAction(QAbstractSlider::SliderPageStepSub);
            break;
        case Qt::Key_Home:
            v->setValue(0);
            break;
        case Qt::Key_End:
            v->setValue(v->maximum());
            break;
        default:
            QAbstractScrollArea::keyPressEvent(event);
            return;
    }
    event->accept();
}

}  // namespace korvantis::ui

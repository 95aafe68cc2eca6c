#include "ui/list/virtual_list.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>

namespace korvantis::ui {

namespace {
// Bounds the height cache; only rows near the screen are ever measured.
constexpr int kMaxCachedHeights = 20000;
// Pixels one step moves inside a row taller than the screen.
constexpr int kPixelStep = 48;
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

int VirtualList::maxOffset(int row) const {
    if (row < 0 || row >= count()) {
        return 0;
    }
    return std::max(0, rowHeight(row) - viewport()->height());
}

int VirtualList::rowAt(int y) const {
    if (y < 0) {
        return -1;
    }
    const int n = count();
    const int bottom = viewport()->height();
    int top = -offset_;
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
    int top = -offset_;
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
    int top = -offset_;
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

void VirtualList::setFirstRow(int row, int offset) {
    QScrollBar* v = verticalScrollBar();
    row = std::clamp(row, v->minimum(), v->maximum());
    offset = std::clamp(offset, 0, maxOffset(row));
    keepOffset_ = true;
    v->setValue(row);
    keepOffset_ = false;
    if (offset != offset_) {
        offset_ = offset;
        viewport()->update();
    }
}

void VirtualList::scrollToRow(int row) {
    if (row < 0 || row >= count()) {
        return;
    }
    if (row < firstRow() || (row == firstRow() && offset_ > 0)) {
        setFirstRow(row, 0);
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
    const QRect r = rowRect(row);
    if (r.isEmpty() || r.bottom() >= bottom) {
        setFirstRow(first, 0);
    }
}

void VirtualList::scrollStep(bool down) {
    const int first = firstRow();
    if (down) {
        if (offset_ < maxOffset(first)) {
            setFirstRow(first, offset_ + kPixelStep);
        } else if (first < verticalScrollBar()->maximum()) {
            setFirstRow(first + 1, 0);
        }
    } else {
        if (offset_ > 0) {
            setFirstRow(first, offset_ - kPixelStep);
        } else if (first > 0) {
            // Coming back up into a tall row shows its end first.
            setFirstRow(first - 1, maxOffset(first - 1));
        }
    }
}

void VirtualList::pageStep(bool down) {
    const int first = firstRow();
    const int page = std::max(kPixelStep, viewport()->height() - kPixelStep);
    if (down && offset_ < maxOffset(first)) {
        setFirstRow(first, offset_ + page);
    } else if (!down && offset_ > 0) {
        setFirstRow(first, offset_ - page);
    } else {
        verticalScrollBar()->triggerAction(down ? QAbstractSlider::SliderPageStepAdd
                                                : QAbstractSlider::SliderPageStepSub);
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
    offset_ = std::min(offset_, maxOffset(firstRow()));

    QScrollBar* h = horizontalScrollBar();
    const int content = contentWidth();
    h->setRange(0, std::max(0, content - viewport()->width()));
    h->setPageStep(viewport()->width());
}

bool VirtualList::atEnd() const {
    const QScrollBar* v = verticalScrollBar();
    return v->value() >= v->maximum() && offset_ >= maxOffset(firstRow());
}

void VirtualList::rowsAppended() {
    const bool stick = stickToEnd_ && atEnd();
    updateScrollBars();
    if (stick) {
        setFirstRow(verticalScrollBar()->maximum(), 0);
    }
    viewport()->update();
}

void VirtualList::contentChanged() {
    const bool stick = stickToEnd_ && atEnd();
    heights_.clear();
    updateScrollBars();
    if (stick) {
        setFirstRow(verticalScrollBar()->maximum(), 0);
    }
    viewport()->update();
}

void VirtualList::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const int n = count();
    const int bottom = viewport()->height();
    const int width = layoutWidth();
    const int x = -horizontalScrollBar()->value();
    int top = -offset_;
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

void VirtualList::scrollContentsBy(int, int dy) {
    if (dy != 0 && !keepOffset_) {
        offset_ = 0;  // the scroll bar moved by rows
    }
    verticalScrollBar()->setPageStep(std::max(1, rowsOnScreen() - 1));
    viewport()->update();
}

void VirtualList::wheelEvent(QWheelEvent* event) {
    const QPoint angle = event->angleDelta();
    if (angle.y() == 0 || (event->modifiers() & Qt::ShiftModifier)) {
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    // Whole notches (120) make steps; smaller deltas add up.
    wheelRemainder_ += angle.y();
    const int notches = wheelRemainder_ / 120;
    wheelRemainder_ -= notches * 120;
    const int steps = notches * QApplication::wheelScrollLines();
    for (int i = 0; i < std::abs(steps); ++i) {
        scrollStep(steps < 0);
    }
    event->accept();
}

void VirtualList::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_PageDown:
            pageStep(true);
            break;
        case Qt::Key_PageUp:
            pageStep(false);
            break;
        case Qt::Key_Down:
            scrollStep(true);
            break;
        case Qt::Key_Up:
            scrollStep(false);
            break;
        case Qt::Key_Home:
            setFirstRow(0, 0);
            break;
        case Qt::Key_End:
            setFirstRow(verticalScrollBar()->maximum(), maxOffset(verticalScrollBar()->maximum()));
            break;
        default:
            QAbstractScrollArea::keyPressEvent(event);
            return;
    }
    event->accept();
}

}  // namespace korvantis::ui

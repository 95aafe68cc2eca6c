#include "ui/preview_list.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

#include "ui/text_cell.h"

namespace korvantis::ui {

PreviewList::PreviewList(PreviewModel& model, QWidget* parent)
    : VirtualList(parent), model_(model), font_(rowFont()), metrics_(font_) {
    viewport()->setAutoFillBackground(true);
    viewport()->setBackgroundRole(QPalette::Base);
    connect(&model_, &QAbstractItemModel::rowsInserted, this, [this] { rowsAppended(); });
    connect(&model_, &QAbstractItemModel::dataChanged, this, [this] { viewport()->update(); });
    connect(&model_, &QAbstractItemModel::modelReset, this, [this] { contentChanged(); });
}

QString PreviewList::cellShown(int row, int column) const {
    return shownText(model_.cellText(row, column));
}

int PreviewList::count() const {
    return model_.rowCount();
}

int PreviewList::contentWidth() const {
    int width = 2 * RowGeometry::kMargin;
    const auto& cols = model_.columns().columns;
    for (std::size_t i = 0; i < cols.size(); ++i) {
        width += cols[i].rowWidth > 0 ? cols[i].rowWidth : RowGeometry::kMinPathWidth;
        if (i + 1 < cols.size()) {
            width += RowGeometry::kSpacing;
        }
    }
    return width;
}

QList<PreviewList::Cell> PreviewList::layoutCells(int row, int rowWidth) const {
    QList<Cell> cells;
    const auto& cols = model_.columns().columns;
    int x = RowGeometry::kMargin;
    for (std::size_t i = 0; i < cols.size(); ++i) {
        Cell cell{cellShown(row, int(i)), x, cols[i].rowWidth, 0, 0};
        const int advance = metrics_.horizontalAdvance(cell.text);
        if (cell.width <= 0) {
            // The rest of the row, but no wider than the text needs.
            const int rest =
                std::max(RowGeometry::kMinPathWidth, rowWidth - x - RowGeometry::kMargin);
            cell.width = std::min(rest, std::max(1, advance));
        }
        // Most cells fit on one line: measure those without a text layout.
        const bool oneLine = advance <= cell.width && !cell.text.contains(QLatin1Char('\n'));
        cell.height = oneLine ? metrics_.height() : wrappedTextHeight(cell.text, font_, cell.width);
        cell.oneLine = oneLine;
        x += cell.width + RowGeometry::kSpacing;
        cells.append(std::move(cell));
    }
    return cells;
}

int PreviewList::measureRow(int row, int width) const {
    int h = 0;
    for (const Cell& cell : layoutCells(row, width)) {
        h = std::max(h, cell.height);
    }
    return h + 2 * RowGeometry::kPadding;
}

QList<QRect> PreviewList::cellRects(int row) const {
    QList<QRect> rects;
    const QRect r = rowRect(row);
    if (r.isEmpty()) {
        return rects;
    }
    for (const Cell& cell : layoutCells(row, r.width())) {
        rects.append(QRect(r.x() + cell.x, r.y(), cell.width, r.height()));
    }
    return rects;
}

void PreviewList::paintRow(QPainter& painter, int row, const QRect& rect) const {
    const auto cells = layoutCells(row, rect.width());
    painter.setFont(font_);
    const auto& cols = model_.columns().columns;
    const QPalette& pal = palette();
    for (int c = 0; c < cells.size(); ++c) {
        const Cell& cell = cells[c];
        // Cells are centred vertically in the row.
        const QRect box(rect.x() + cell.x, rect.y() + (rect.height() - cell.height) / 2, cell.width,
                        cell.height);
        const QColor color = model_.cellColor(row, c, pal);
        if (cell.oneLine) {
            painter.setPen(color);
            painter.drawText(
                box, static_cast<int>(cols[c].rowAlignment | Qt::AlignTop) | Qt::TextSingleLine,
                cell.text);
        } else {
            drawWrappedText(painter, cell.text, font_, box, cols[c].rowAlignment, color);
        }
    }
}

void PreviewList::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        VirtualList::mousePressEvent(event);
        return;
    }
    const int row = rowAt(event->position().toPoint().y());
    if (row >= 0) {
        emit rowClicked(row);
    }
    event->accept();
}

void PreviewList::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if ((key == Qt::Key_Up || key == Qt::Key_Down) && event->modifiers() == Qt::NoModifier) {
        const int n = count();
        if (n > 0) {
            int row;
            if (chosenRow_ < 0 || chosenRow_ >= n) {
                row = firstRow();
            } else {
                row = std::clamp(chosenRow_ + (key == Qt::Key_Down ? 1 : -1), 0, n - 1);
            }
            scrollToRow(row);
            emit rowClicked(row);
        }
        event->accept();
        return;
    }
    VirtualList::keyPressEvent(event);
}

ColumnHeaders::ColumnHeaders(const PanelColumns& columns, QWidget* parent)
    : QWidget(parent), columns_(columns), font_(headerFont()) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QStringList ColumnHeaders::texts() const {
    QStringList t;
    for (const auto& c : columns_.columns) {
        t.append(c.header);
    }
    return t;
}

QList<QRect> ColumnHeaders::textRects() const {
    QList<QRect> rects;
    const int h = QFontMetrics(font_).height();
    int x = RowGeometry::kMargin - offset_;
    for (const auto& c : columns_.columns) {
        rects.append(QRect(x, kTopPadding, c.headerWidth, h));
        x += c.headerWidth + RowGeometry::kSpacing;
    }
    return rects;
}

void ColumnHeaders::setHorizontalOffset(int offset) {
    offset_ = offset;
    update();
}

QSize ColumnHeaders::sizeHint() const {
    return QSize(400, kTopPadding + QFontMetrics(font_).height() + kBottomPadding);
}

QSize ColumnHeaders::minimumSizeHint() const {
    return QSize(0, sizeHint().height());
}

void ColumnHeaders::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font_);
    painter.setPen(greenColor());
    const auto rects = textRects();
    for (int i = 0; i < rects.size(); ++i) {
        // The title stays on one line; the row below it is what wraps.
        painter.drawText(rects[i], Qt::AlignHCenter | Qt::AlignTop | Qt::TextDontClip,
                         columns_.columns[i].header);
    }
}

}  // namespace korvantis::ui

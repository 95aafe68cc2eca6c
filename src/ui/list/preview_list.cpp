#include "ui/list/preview_list.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>

#include <algorithm>

#include "rules/rule_hit_sets.h"
#include "ui/list/bidi_isolation.h"
#include "ui/list/text_cell.h"
#include "ui/look/style.h"
#include "ui/look/time_display_choice.h"
#include "ui/look/wrap_choice.h"

namespace korvantis::ui {

PreviewList::PreviewList(RowSource& rows, ColumnLayout& columns, QWidget* parent)
    : VirtualList(parent), rows_(rows), columns_(columns), font_(rowFont()), metrics_(font_) {
    viewport()->setAutoFillBackground(true);
    viewport()->setBackgroundRole(QPalette::Base);
    connect(&rows_, &RowSource::rowsAppended, this, [this] { rowsAppended(); });
    connect(&rows_, &RowSource::rowsReplaced, this, [this] {
        chosenRow_ = -1;
        contentChanged();
    });
    connect(&rows_, &RowSource::marksChanged, this, [this] { viewport()->update(); });
    // Texts that change keep their heights: the outcome never wraps.
    connect(&rows_, &RowSource::textsChanged, this, [this] { viewport()->update(); });
    connect(&columns_, &ColumnLayout::widthsChanged, this, [this] { contentChanged(); });
    // Times shown another way: the same rows, other texts and heights.
    connect(&TimeDisplayChoice::instance(), &TimeDisplayChoice::displayChanged, this,
            [this] { contentChanged(); });
    connect(&WrapChoice::instance(), &WrapChoice::wrapsChanged, this, [this] { contentChanged(); });
}

void PreviewList::setChosenRow(int row) {
    chosenRow_ = row;
    scrollToRow(row);
}

IsolatedText PreviewList::cellIsolated(int row, int column) const {
    const QString text = shownText(rows_.text(row, columns_.column(column).key));
    // Paths read in their logical order, whatever scripts their folders use;
    // no cell hides a character that acts unseen.
    return columns_.column(column).key == FieldId::path ? isolatePathParts(text)
                                                        : withVisibleMarks(text);
}

QString PreviewList::cellShown(int row, int column) const {
    return cellIsolated(row, column).shown;
}

QColor PreviewList::cellColor(int row, int column) const {
    return markColor(rows_.mark(row, columns_.column(column).key), columns_.columns().standard,
                     palette());
}

QColor PreviewList::ruleMarkColor(int row) const {
    const RuleHitSet* hits = rows_.row(row).ruleHits;
    return hits != nullptr ? ruleLevelColor(hits->level, palette()) : QColor();
}

QRect PreviewList::ruleMarkRect(const QRect& row) {
    // In the margin before the first column.
    return QRect(row.x() + 2, row.y() + 2, ColumnLayout::kMargin - 4, row.height() - 4);
}

int PreviewList::count() const {
    return rows_.rowCount();
}

int PreviewList::contentWidth() const {
    return columns_.minimumRowWidth();
}

QList<PreviewList::Cell> PreviewList::layoutCells(int row, int rowWidth) const {
    QList<Cell> cells;
    for (int i = 0; i < columns_.count(); ++i) {
        const IsolatedText shown = cellIsolated(row, i);
        Cell cell{shown.shown, columns_.left(i),  columns_.width(i, rowWidth), 0,
                  false,       markFormats(shown)};
        const int advance = metrics_.horizontalAdvance(cell.text);
        if (columns_.isLast(i)) {
            // The rest of the row, but no wider than the text needs.
            cell.width = std::min(cell.width, std::max(1, advance));
        }
        const bool fits = advance <= cell.width && !cell.text.contains(QLatin1Char('\n'));
        // Most cells fit on one line without marks: measure and draw those
        // without a text layout.
        cell.oneLine = fits && cell.marks.isEmpty();
        // The lists' own columns wrap when asked to; the facts, the summary and
        // the outcome never do.
        const FieldId key = columns_.column(i).key;
        if (!fits && (!WrapChoice::instance().wraps() || key > FieldId::path)) {
            elide(cell, key, shown);
        }
        cell.height = cell.oneLine || cell.elided ? metrics_.height()
                                                  : wrappedTextHeight(cell.text, font_, cell.width);
        cells.append(std::move(cell));
    }
    return cells;
}

QList<QTextLayout::FormatRange> PreviewList::markFormats(const IsolatedText& shown) const {
    return shown.visibleMarks.empty()
               ? QList<QTextLayout::FormatRange>()
               : visibleMarkFormats(shown, palette().color(QPalette::PlaceholderText));
}

void PreviewList::elide(Cell& cell, FieldId key, const IsolatedText& shown) const {
    // Paths and command lines keep their start and their end.
    const bool middle = key == FieldId::path || key == fieldOf(Fact::args) ||
                        key == fieldOf(Fact::cwd) || key == fieldOf(Fact::process_path);
    // Cut, it shows the same marks as whole (the tooltip and a copy have all).
    const IsolatedText cut = elidedText(shown, metrics_, cell.width, middle);
    cell.text = cut.shown;
    cell.marks = markFormats(cut);
    cell.oneLine = cell.marks.isEmpty();
    cell.elided = true;
}

bool PreviewList::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip) {
        return VirtualList::viewportEvent(event);
    }
    const QPoint at = static_cast<QHelpEvent*>(event)->pos();
    const int row = rowAt(at.y());
    const QRect r = rowRect(row);
    if (row >= 0 && !r.isEmpty()) {
        const auto cells = layoutCells(row, r.width());
        for (int c = 0; c < cells.size(); ++c) {
            const int x = r.x() + cells[c].x;
            if (cells[c].elided && at.x() >= x && at.x() < x + cells[c].width) {
                QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), cellShown(row, c),
                                   viewport());
                return true;
            }
        }
    }
    QToolTip::hideText();
    event->ignore();
    return true;
}

int PreviewList::widestShown(int column) const {
    int widest = 0;
    const int first = firstRow();
    for (int row = first; row >= 0 && row < count() && !rowRect(row).isEmpty(); ++row) {
        widest = std::max(widest, metrics_.horizontalAdvance(cellShown(row, column)));
    }
    return widest + 2;
}

int PreviewList::measureRow(int row, int width) const {
    int h = 0;
    for (const Cell& cell : layoutCells(row, width)) {
        h = std::max(h, cell.height);
    }
    return h + 2 * kPadding;
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
    if (background_) {
        if (const QColor background = background_(row); background.isValid()) {
            painter.fillRect(rect, background);
        }
    }
    const auto cells = layoutCells(row, rect.width());
    if (const QColor mark = ruleMarkColor(row); mark.isValid()) {
        painter.fillRect(ruleMarkRect(rect), mark);
    }
    painter.setFont(font_);
    for (int c = 0; c < cells.size(); ++c) {
        const Cell& cell = cells[c];
        // Cells are centred vertically in the row.
        const QRect box(rect.x() + cell.x, rect.y() + (rect.height() - cell.height) / 2, cell.width,
                        cell.height);
        const QColor color = cellColor(row, c);
        const Qt::Alignment alignment = columns_.column(c).alignment;
        if (cell.oneLine) {
            painter.setPen(color);
            painter.drawText(box, static_cast<int>(alignment | Qt::AlignTop) | Qt::TextSingleLine,
                             cell.text);
        } else {
            drawWrappedText(painter, cell.text, font_, box, alignment, color, cell.marks);
        }
    }
    if (bookmarked_ && bookmarked_(row)) {
        painter.fillRect(QRect(rect.x(), rect.y() + 1, kBookmarkBarWidth, rect.height() - 2),
                         bookmarkColor(palette()));
    }
}

void PreviewList::setBookmarked(std::function<bool(int row)> bookmarked) {
    bookmarked_ = std::move(bookmarked);
    viewport()->update();
}

void PreviewList::setRowBackground(std::function<QColor(int row)> background) {
    background_ = std::move(background);
    viewport()->update();
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

int PreviewList::rowForKey(const QKeyEvent& event) const {
    const Qt::KeyboardModifiers mods = event.modifiers() & ~Qt::KeypadModifier;
    const int key = event.key();
    const bool homeOrEnd = key == Qt::Key_Home || key == Qt::Key_End;
    if (mods != Qt::NoModifier && !(homeOrEnd && mods == Qt::ControlModifier)) {
        return -1;
    }
    const int n = count();
    const int page = std::max(1, rowsOnScreen() - 1);
    const bool chosen = chosenRow_ >= 0 && chosenRow_ < n;
    // With no row chosen yet, the steps start from the first row on screen.
    const int from = chosen ? chosenRow_ : firstRow();
    int row;
    switch (key) {
        case Qt::Key_Down:
            row = chosen ? from + 1 : from;
            break;
        case Qt::Key_Up:
            row = chosen ? from - 1 : from;
            break;
        case Qt::Key_PageDown:
            row = chosen ? from + page : from;
            break;
        case Qt::Key_PageUp:
            row = chosen ? from - page : from;
            break;
        case Qt::Key_Home:
            row = 0;
            break;
        case Qt::Key_End:
            row = n - 1;
            break;
        default:
            return -1;
    }
    return std::clamp(row, 0, n - 1);
}

void PreviewList::keyPressEvent(QKeyEvent* event) {
    const int row = count() > 0 ? rowForKey(*event) : -1;
    if (row < 0) {
        VirtualList::keyPressEvent(event);
        return;
    }
    scrollToRow(row);
    emit rowClicked(row);
    event->accept();
}

ColumnHeaders::ColumnHeaders(ColumnLayout& columns, QWidget* parent)
    : QWidget(parent), columns_(columns), font_(headerFont()) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMouseTracking(true);
    connect(&columns_, &ColumnLayout::widthsChanged, this, [this] { update(); });
}

QStringList ColumnHeaders::texts() const {
    QStringList t;
    for (int i = 0; i < columns_.count(); ++i) {
        t.append(shownTitle(i));
    }
    return t;
}

QList<QRect> ColumnHeaders::textRects() const {
    QList<QRect> rects;
    const int h = QFontMetrics(font_).height();
    const int rowWidth = std::max(width() + offset_, columns_.minimumRowWidth());
    for (int i = 0; i < columns_.count(); ++i) {
        rects.append(
            QRect(columns_.left(i) - offset_, kTopPadding, columns_.width(i, rowWidth), h));
    }
    return rects;
}

int ColumnHeaders::borderX(int column) const {
    return columns_.left(column) + columns_.width(column, 0) + columns_.spacing() / 2 - offset_;
}

int ColumnHeaders::borderAt(int x) const {
    for (int i = 0; i + 1 < columns_.count(); ++i) {
        if (std::abs(x - borderX(i)) <= kGrip) {
            return i;
        }
    }
    return -1;
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

void ColumnHeaders::mousePressEvent(QMouseEvent* event) {
    const int x = event->position().toPoint().x();
    dragged_ = event->button() == Qt::LeftButton ? borderAt(x) : -1;
    pressedTitle_ = -1;
    if (dragged_ < 0) {
        if (event->button() == Qt::LeftButton) {
            pressedTitle_ = titleAt(event->position().toPoint());
        }
        QWidget::mousePressEvent(event);
        return;
    }
    dragStartX_ = x;
    dragStartWidth_ = columns_.width(dragged_, 0);
    event->accept();
}

void ColumnHeaders::mouseMoveEvent(QMouseEvent* event) {
    const int x = event->position().toPoint().x();
    if (dragged_ >= 0) {
        columns_.setWidth(dragged_, dragStartWidth_ + x - dragStartX_);
        event->accept();
        return;
    }
    if (borderAt(x) >= 0) {
        setCursor(Qt::SplitHCursor);
    } else {
        unsetCursor();
    }
}

void ColumnHeaders::mouseReleaseEvent(QMouseEvent* event) {
    if (dragged_ >= 0) {
        dragged_ = -1;
        event->accept();
        return;
    }
    const int title = pressedTitle_;
    pressedTitle_ = -1;
    if (title >= 0 && event->button() == Qt::LeftButton &&
        titleAt(event->position().toPoint()) == title) {
        emit titleClicked(title);
        event->accept();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void ColumnHeaders::mouseDoubleClickEvent(QMouseEvent* event) {
    const int border =
        event->button() == Qt::LeftButton ? borderAt(event->position().toPoint().x()) : -1;
    if (border < 0) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    emit borderDoubleClicked(border);
    event->accept();
}

int ColumnHeaders::titleAt(QPoint pos) const {
    const auto rects = textRects();
    for (int i = 0; i < rects.size(); ++i) {
        // The whole height of the header, between the borders.
        const int left = i == 0 ? 0 : borderX(i - 1);
        const int right = columns_.isLast(i) ? width() : borderX(i);
        if (pos.x() >= left && pos.x() < right && borderAt(pos.x()) < 0) {
            return i;
        }
    }
    return -1;
}

void ColumnHeaders::setSortArrow(int column, bool descending) {
    sortedColumn_ = column;
    sortDescending_ = descending;
    update();
}

QString ColumnHeaders::shownTitle(int column) const {
    QString title = columns_.column(column).header;
    if (column == sortedColumn_) {
        title += sortDescending_ ? QStringLiteral(" \u25BC") : QStringLiteral(" \u25B2");
    }
    return title;
}

void ColumnHeaders::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // The borders the user can drag, faint.
    painter.setPen(palette().color(QPalette::Mid));
    for (int i = 0; i + 1 < columns_.count(); ++i) {
        const int x = borderX(i);
        painter.drawLine(x, kTopPadding, x, height() - kBottomPadding);
    }
    painter.setFont(font_);
    painter.setPen(greenColor(palette()));
    const auto rects = textRects();
    for (int i = 0; i < rects.size(); ++i) {
        // A title stays on one line; the rows below it are what wrap. The last
        // column's title stands where its cells begin.
        const Qt::Alignment h = columns_.isLast(i) ? Qt::AlignLeft : Qt::AlignHCenter;
        painter.drawText(rects[i], static_cast<int>(h | Qt::AlignTop) | Qt::TextDontClip,
                         shownTitle(i));
    }
}

}  // namespace korvantis::ui

#include "ui/panel/error_view.h"

#include <QClipboard>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

#include "ui/list/text_cell.h"
#include "ui/look/load_texts.h"
#include "ui/look/style.h"

namespace korvantis::ui {

namespace {
constexpr int kEntryPadding = 6;  // around each entry row
constexpr int kFixedPadding = 3;  // above and below the fixed texts
constexpr int kMargin = 6;        // left and right
constexpr int kOriginGap = 12;    // between an entry's origin and its text
}  // namespace

const QString& ErrorView::firstText() {
    static const QString t =
        tr("Currently, loaded json files must be one json entry per line (not pretty printed)");
    return t;
}

const QString& ErrorView::secondText() {
    static const QString t = tr("Could not load the following JSON lines...");
    return t;
}

ErrorView::ErrorView(StoreNotifier& notifier, QWidget* parent)
    : VirtualList(parent), workspace_(notifier.workspace()) {
    viewport()->setAutoFillBackground(true);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setCursor(Qt::IBeamCursor);
    connect(&notifier, &StoreNotifier::changed, this, &ErrorView::sync);
    sync();
}

void ErrorView::sync() {
    // The errors past the bound get one row that says how many they are.
    const LoadErrors& errors = workspace_.store.loadErrors();
    const std::size_t n = std::min<std::size_t>(errors.listed() + (errors.folded() != 0 ? 1 : 0),
                                                std::numeric_limits<int>::max() - 3);
    if (static_cast<int>(n) != entries_) {
        entries_ = static_cast<int>(n);
        rowsAppended();
    }
}

QString ErrorView::rowText(int row) const {
    if (row == 0) {
        return firstText();
    }
    if (row == 1) {
        return secondText();
    }
    if (row != readRow_) {
        const LoadErrors& errors = workspace_.store.loadErrors();
        const auto entry = static_cast<std::size_t>(row - 2);
        const std::string e = entry < errors.listed() ? workspace_.store.loadErrorText(entry)
                                                      : LoadErrors::foldedText(errors.folded());
        readText_ = QString::fromUtf8(e.data(), static_cast<qsizetype>(e.size()));
        readRow_ = row;
    }
    return readText_;
}

QString ErrorView::originText(int row) const {
    const LoadErrors& errors = workspace_.store.loadErrors();
    const auto entry = static_cast<std::size_t>(row - 2);
    if (row < 2 || entry >= errors.listed()) {
        return {};
    }
    return LoadTexts::errorOrigin(
        QString::fromStdString(workspace_.store.loadErrorOriginName(entry)),
        errors.origin(entry).line);
}

int ErrorView::originWidth(int row, int rowWidth) const {
    const QString origin = originText(row);
    if (origin.isEmpty()) {
        return 0;
    }
    // A long file name gives way to the entry's text. The fractional width,
    // rounded up: the whole width rounded down would not hold the text.
    const int natural =
        static_cast<int>(std::ceil(QFontMetricsF(font()).horizontalAdvance(origin)));
    return std::min(natural, rowWidth / 3) + kOriginGap;
}

QString ErrorView::shownOriginText(int row, int rowWidth) const {
    const int width = originWidth(row, rowWidth) - kOriginGap;
    const QString origin = originText(row);
    if (width <= 0 || QFontMetricsF(font()).horizontalAdvance(origin) <= width) {
        return origin;
    }
    return fontMetrics().elidedText(origin, Qt::ElideMiddle, width);
}

QColor ErrorView::rowColor(int row) const {
    return row < 2 ? greenColor(palette()) : palette().color(QPalette::Text);
}

IsolatedText ErrorView::shownRow(int row) const {
    if (row < 2) {
        const QString& fixed = rowText(row);
        return {fixed, std::vector<bool>(static_cast<std::size_t>(fixed.size()), false), {}};
    }
    return isolatePathParts(shownText(rowText(row)));
}

QRect ErrorView::textRect(int row, const QRect& rowRect) const {
    const int pad = row < 2 ? kFixedPadding : kEntryPadding;
    const int side = kMargin + (row < 2 ? 0 : kEntryPadding);
    return rowRect.adjusted(side + originWidth(row, rowRect.width()), pad, -side, -pad);
}

int ErrorView::measureRow(int row, int width) const {
    const int pad = row < 2 ? kFixedPadding : kEntryPadding;
    const int inner = std::max(1, textRect(row, QRect(0, 0, width, 1)).width());
    return wrappedTextHeight(shownRowText(row), font(), inner) + 2 * pad;
}

void ErrorView::paintRow(QPainter& painter, int row, const QRect& rect) const {
    const QRect box = textRect(row, rect);
    QList<QTextLayout::FormatRange> selection;
    if (row >= 2) {
        selection = visibleMarkFormats(shownRow(row), palette().color(QPalette::PlaceholderText));
    }
    const auto [from, to] = std::minmax(anchor_, cursor_);
    if (from != to && from.row <= row && row <= to.row) {
        const int start = row == from.row ? from.pos : 0;
        const int end = row == to.row ? to.pos : static_cast<int>(shownRowText(row).size());
        QTextLayout::FormatRange range;
        range.start = start;
        range.length = end - start;
        range.format.setBackground(palette().brush(QPalette::Highlight));
        range.format.setForeground(palette().brush(QPalette::HighlightedText));
        selection.append(range);
    }
    drawWrappedText(painter, shownRowText(row), font(), box, Qt::AlignLeft, rowColor(row),
                    selection);
    if (const int origin = originWidth(row, rect.width()); origin > 0) {
        const QRect place(box.left() - origin, box.top(), origin - kOriginGap,
                          fontMetrics().height());
        painter.save();
        painter.setFont(font());
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(place, Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip,
                         shownOriginText(row, rect.width()));
        painter.restore();
    }
}

ErrorView::TextPos ErrorView::textPosAt(QPoint point) const {
    const int n = rowCount();
    int row = rowAt(std::max(0, point.y()));
    if (row < 0) {
        // Below the last row on screen: the end of that row.
        row = firstRow();
        while (row + 1 < n && !rowRect(row + 1).isEmpty()) {
            ++row;
        }
        return {row, static_cast<int>(shownRowText(row).size())};
    }
    const QRect box = textRect(row, rowRect(row));
    const auto layout = wrappedLayout(shownRowText(row), font(), box.width(), Qt::AlignLeft);
    return {row, cursorAt(*layout, QPointF(point - box.topLeft()))};
}

QString ErrorView::selectedText() const {
    const auto [from, to] = std::minmax(anchor_, cursor_);
    if (from == to || from.row < 0) {
        return {};
    }
    QStringList parts;
    for (int row = from.row; row <= to.row; ++row) {
        const IsolatedText text = shownRow(row);
        const int start = row == from.row ? from.pos : 0;
        const int end = row == to.row ? to.pos : static_cast<int>(text.shown.size());
        parts.append(text.original(start, end));
    }
    return parts.join(QLatin1Char('\n'));
}

void ErrorView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        VirtualList::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    anchor_ = cursor_ = textPosAt(event->position().toPoint());
    dragging_ = true;
    viewport()->update();
    event->accept();
}

void ErrorView::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) {
        VirtualList::mouseMoveEvent(event);
        return;
    }
    const QPoint p = event->position().toPoint();
    // Dragging past an edge scrolls the list on.
    if (p.y() < 0) {
        scrollStep(false);
    } else if (p.y() >= viewport()->height()) {
        scrollStep(true);
    }
    cursor_ = textPosAt(p);
    viewport()->update();
    event->accept();
}

void ErrorView::mouseReleaseEvent(QMouseEvent* event) {
    if (dragging_ && event->button() == Qt::LeftButton) {
        dragging_ = false;
        event->accept();
        return;
    }
    VirtualList::mouseReleaseEvent(event);
}

void ErrorView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        const QString text = selectedText();
        if (!text.isEmpty()) {
            QGuiApplication::clipboard()->setText(text);
        }
        event->accept();
        return;
    }
    VirtualList::keyPressEvent(event);
}

}  // namespace korvantis::ui

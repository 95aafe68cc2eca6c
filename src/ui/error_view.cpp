#include "ui/error_view.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

#include "ui/style.h"
#include "ui/text_cell.h"

namespace korvantis::ui {

namespace {
constexpr int kEntryPadding = 6;  // around each entry row
constexpr int kFixedPadding = 3;  // above and below the fixed texts
constexpr int kMargin = 6;        // left and right
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
    : VirtualList(parent), store_(notifier.store()) {
    viewport()->setAutoFillBackground(true);
    viewport()->setBackgroundRole(QPalette::Base);
    connect(&notifier, &StoreNotifier::changed, this, &ErrorView::sync);
    sync();
}

void ErrorView::sync() {
    const std::size_t n =
        std::min<std::size_t>(store_.loadErrors().size(), std::numeric_limits<int>::max() - 2);
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
    const std::string& e = store_.loadErrors()[static_cast<std::size_t>(row - 2)];
    return QString::fromUtf8(e.data(), static_cast<qsizetype>(e.size()));
}

QColor ErrorView::rowColor(int row) const {
    return row < 2 ? greenColor() : palette().color(QPalette::Text);
}

int ErrorView::measureRow(int row, int width) const {
    const int pad = row < 2 ? kFixedPadding : kEntryPadding;
    const int inner = std::max(1, width - 2 * kMargin - (row < 2 ? 0 : 2 * kEntryPadding));
    return wrappedTextHeight(shownText(rowText(row)), font(), inner) + 2 * pad;
}

void ErrorView::paintRow(QPainter& painter, int row, const QRect& rect) const {
    const int pad = row < 2 ? kFixedPadding : kEntryPadding;
    const int side = kMargin + (row < 2 ? 0 : kEntryPadding);
    const QRect inner = rect.adjusted(side, pad, -side, -pad);
    drawWrappedText(painter, shownText(rowText(row)), font(), inner, Qt::AlignLeft, rowColor(row));
}

namespace {

struct LegendRun {
    QString text;
    QColor color;
};

// The legend's three lines, each a sequence of coloured runs: the one place
// where its texts and colours are decided.
QList<QList<LegendRun>> legendLines() {
    const QColor green = greenColor();
    const QColor pink = pinkColor();
    return {
        {{LegendView::tr("An entirely green row is the entry in which you've selected"), green}},
        {{LegendView::tr("An entirely pink row with a "), pink},
         {LegendView::tr("green pid field "), green},
         {LegendView::tr("is additional activity performed by the pid you've selected"), pink}},
        {{LegendView::tr("An entirely pink row is activity of the parent of the pid you've "
                         "selected"),
          pink}},
    };
}

}  // namespace

QStringList LegendView::lineTexts() {
    QStringList texts;
    for (const auto& runs : legendLines()) {
        QString line;
        for (const LegendRun& run : runs) {
            line += run.text;
        }
        texts.append(line);
    }
    return texts;
}

LegendView::LegendView(QWidget* parent) : QScrollArea(parent) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);

    QStringList lines;
    for (const auto& runs : legendLines()) {
        QString html;
        for (const LegendRun& run : runs) {
            html += QStringLiteral("<span style=\"color:%1\">%2</span>")
                        .arg(run.color.name(), run.text.toHtmlEscaped());
        }
        lines.append(html);
    }

    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(6, 6, 6, 6);
    for (const QString& html : lines) {
        // pre-wrap keeps the blanks that end the runs of the second line.
        auto* label =
            new QLabel(QStringLiteral("<div style=\"white-space:pre-wrap\">%1</div>").arg(html));
        label->setTextFormat(Qt::RichText);
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setTextInteractionFlags(Qt::NoTextInteraction);
        layout->addWidget(label);
    }
    layout->addStretch(1);
    setWidget(content);
}

}  // namespace korvantis::ui

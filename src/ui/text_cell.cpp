#include "ui/text_cell.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTextOption>

#include <algorithm>
#include <cmath>

namespace korvantis::ui {

namespace {

bool fitsOnOneLine(const QString& text, const QFontMetrics& fm, int width) {
    return !text.contains(QLatin1Char('\n')) && fm.horizontalAdvance(text) <= width;
}

// Line breaks in the text are kept as breaks (QTextLayout wants a line separator).
QString layoutText(const QString& text) {
    QString t = text;
    t.replace(QLatin1Char('\n'), QChar::LineSeparator);
    return t;
}

constexpr qsizetype kMaxShownChars = 4096;
constexpr std::size_t kMaxMarkFormats = 4096;

std::unique_ptr<QTextLayout> laidOut(const QString& text, const QFont& font, int width,
                                     Qt::Alignment alignment, QTextOption::WrapMode wrap) {
    auto layout = std::make_unique<QTextLayout>(layoutText(text), font);
    QTextOption option(alignment);
    option.setWrapMode(wrap);
    option.setTextDirection(Qt::LeftToRight);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    layout->beginLayout();
    qreal y = 0;
    for (;;) {
        QTextLine line = layout->createLine();
        if (!line.isValid()) {
            break;
        }
        line.setLineWidth(std::max(1, width));
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout->endLayout();
    return layout;
}

}  // namespace

std::unique_ptr<QTextLayout> wrappedLayout(const QString& text, const QFont& font, int width,
                                           Qt::Alignment alignment) {
    return laidOut(text, font, width, alignment, QTextOption::WrapAtWordBoundaryOrAnywhere);
}

std::unique_ptr<QTextLayout> cellLayout(const QString& text, const QFont& font, int width,
                                        Qt::Alignment alignment) {
    // Measured as one line, laid out as one: the layout's own width of a
    // text with marks (and their formats) may pass the measured advance by
    // a fraction of a pixel, and wrapping there would draw its end over the
    // row below.
    const bool oneLine = fitsOnOneLine(text, QFontMetrics(font), width);
    return laidOut(text, font, width, alignment,
                   oneLine ? QTextOption::NoWrap : QTextOption::WrapAtWordBoundaryOrAnywhere);
}

QString shownText(const QString& text) {
    if (text.size() <= kMaxShownChars) {
        return text;
    }
    return text.left(kMaxShownChars) +
           QStringLiteral(" \u2026 (%1 more characters)").arg(text.size() - kMaxShownChars);
}

int wrappedTextHeight(const QString& text, const QFont& font, int width) {
    const QFontMetrics fm(font);
    if (text.isEmpty() || fitsOnOneLine(text, fm, width)) {
        return fm.height();
    }
    const auto layout = wrappedLayout(text, font, width, Qt::AlignLeft);
    return static_cast<int>(std::ceil(layout->boundingRect().height()));
}

void drawWrappedText(QPainter& painter, const QString& text, const QFont& font, const QRect& rect,
                     Qt::Alignment alignment, const QColor& color,
                     const QList<QTextLayout::FormatRange>& formats) {
    if (text.isEmpty()) {
        return;
    }
    painter.setPen(color);
    painter.setFont(font);
    const QFontMetrics fm(font);
    if (formats.isEmpty() && fitsOnOneLine(text, fm, rect.width())) {
        painter.drawText(QRect(rect.x(), rect.y(), rect.width(), fm.height()),
                         static_cast<int>(alignment | Qt::AlignTop) | Qt::TextSingleLine, text);
        return;
    }
    cellLayout(text, font, rect.width(), alignment)->draw(&painter, rect.topLeft(), formats);
}

QList<QTextLayout::FormatRange> visibleMarkFormats(const IsolatedText& text, const QColor& color) {
    QList<QTextLayout::FormatRange> formats;
    const std::size_t n = std::min(text.visibleMarks.size(), kMaxMarkFormats);
    formats.reserve(static_cast<qsizetype>(n));
    for (std::size_t i = 0; i < n; ++i) {
        QTextLayout::FormatRange range;
        range.start = static_cast<int>(text.visibleMarks[i].first);
        range.length = static_cast<int>(kVisibleMarkLength);
        range.format.setForeground(color);
        formats.append(range);
    }
    return formats;
}

int cursorAt(const QTextLayout& layout, QPointF point) {
    const int lines = layout.lineCount();
    if (lines == 0) {
        return 0;
    }
    if (point.y() < 0) {
        return 0;
    }
    for (int i = 0; i < lines; ++i) {
        const QTextLine line = layout.lineAt(i);
        if (point.y() < line.y() + line.height()) {
            return line.xToCursor(point.x());
        }
    }
    return static_cast<int>(layout.text().size());
}

}  // namespace korvantis::ui

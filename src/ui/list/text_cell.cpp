#include "ui/list/text_cell.h"

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

bool isIsolateStart(QChar c) {
    return c.unicode() >= 0x2066 && c.unicode() <= 0x2068;  // LRI, RLI, FSI
}
constexpr QChar kPdi(0x2069);

// The isolates open before `end` of `text`, outermost first. Isolate
// controls of the text itself are shown as marks: these are all inserted.
QString openIsolates(const QString& text, qsizetype end) {
    QString open;
    for (qsizetype i = 0; i < end; ++i) {
        if (isIsolateStart(text[i])) {
            open.append(text[i]);
        } else if (text[i] == kPdi && !open.isEmpty()) {
            open.chop(1);
        }
    }
    return open;
}

}  // namespace

IsolatedText elidedText(const IsolatedText& text, const QFontMetrics& metrics, int width,
                        bool middle) {
    IsolatedText line = text;
    line.shown.replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (metrics.horizontalAdvance(line.shown) <= width) {
        return line;
    }
    const QString& shown = line.shown;
    const bool hasInserted = line.inserted.size() == static_cast<std::size_t>(shown.size());
    // Where the pieces that stay whole start: a mark, a surrogate pair, a character.
    std::vector<qsizetype> starts;
    auto mark = line.visibleMarks.begin();
    for (qsizetype i = 0; i < shown.size();) {
        starts.push_back(i);
        if (mark != line.visibleMarks.end() && mark->first == i) {
            i += kVisibleMarkLength;
            ++mark;
        } else if (shown[i].isHighSurrogate() && i + 1 < shown.size() &&
                   shown[i + 1].isLowSurrogate()) {
            i += 2;
        } else {
            ++i;
        }
    }
    const std::size_t pieces = starts.size();
    starts.push_back(shown.size());
    // The first `kept` pieces, or as many of the first and the last.
    const auto cut = [&](std::size_t kept) {
        const std::size_t right = middle ? kept / 2 : 0;
        const qsizetype leftEnd = starts[kept - right];
        const qsizetype rightStart = starts[pieces - right];
        IsolatedText out;
        out.shown = shown.first(leftEnd);
        out.shown += QString(openIsolates(shown, leftEnd).size(), kPdi);
        out.shown += QChar(0x2026);
        if (right > 0) {
            out.shown += openIsolates(shown, rightStart);
        }
        const qsizetype shift = out.shown.size() - rightStart;
        out.shown += shown.sliced(rightStart);
        if (hasInserted) {
            out.inserted.assign(line.inserted.begin(), line.inserted.begin() + leftEnd);
            out.inserted.resize(static_cast<std::size_t>(rightStart + shift), true);
            out.inserted.insert(out.inserted.end(), line.inserted.begin() + rightStart,
                                line.inserted.end());
        }
        for (const auto& [at, c] : line.visibleMarks) {
            if (at < leftEnd) {
                out.visibleMarks.emplace_back(at, c);
            } else if (at >= rightStart) {
                out.visibleMarks.emplace_back(at + shift, c);
            }
        }
        return out;
    };
    // The most pieces that fit with the "…" (fewer never grow wider).
    std::size_t low = 0;
    std::size_t high = pieces;
    while (low < high) {
        const std::size_t mid = low + (high - low + 1) / 2;
        if (metrics.horizontalAdvance(cut(mid).shown) <= width) {
            low = mid;
        } else {
            high = mid - 1;
        }
    }
    return cut(low);
}

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

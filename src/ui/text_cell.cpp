#include "ui/text_cell.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTextLayout>
#include <QTextOption>

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

qreal layOut(QTextLayout& layout, int width, Qt::Alignment alignment) {
    QTextOption option(alignment);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.setCacheEnabled(true);
    layout.beginLayout();
    qreal y = 0;
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) {
            break;
        }
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    return y;
}

constexpr qsizetype kMaxShownChars = 20000;

}  // namespace

QString shownText(const QString& text) {
    if (text.size() <= kMaxShownChars) {
        return text;
    }
    return text.left(kMaxShownChars) +
           QStringLiteral(" \u2026 (%1 more characters)").arg(text.size() - kMaxShownChars);
}

int singleLineWidth(const QString& text, const QFont& font) {
    return QFontMetrics(font).horizontalAdvance(text);
}

int wrappedTextHeight(const QString& text, const QFont& font, int width) {
    const QFontMetrics fm(font);
    if (text.isEmpty() || fitsOnOneLine(text, fm, width)) {
        return fm.height();
    }
    QTextLayout layout(layoutText(text), font);
    return static_cast<int>(std::ceil(layOut(layout, std::max(1, width), Qt::AlignLeft)));
}

void drawWrappedText(QPainter& painter, const QString& text, const QFont& font, const QRect& rect,
                     Qt::Alignment alignment, const QColor& color) {
    if (text.isEmpty()) {
        return;
    }
    painter.setPen(color);
    painter.setFont(font);
    const QFontMetrics fm(font);
    if (fitsOnOneLine(text, fm, rect.width())) {
        painter.drawText(QRect(rect.x(), rect.y(), rect.width(), fm.height()),
                         static_cast<int>(alignment | Qt::AlignTop) | Qt::TextSingleLine, text);
        return;
    }
    QTextLayout layout(layoutText(text), font);
    layOut(layout, std::max(1, rect.width()), alignment);
    layout.draw(&painter, rect.topLeft());
}

}  // namespace korvantis::ui

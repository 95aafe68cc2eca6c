#pragma once

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QString>
#include <QTextLayout>

#include <memory>

#include "ui/list/bidi_isolation.h"

class QPainter;

namespace korvantis::ui {

// Text laid out within a fixed width, wrapping at word boundaries and, for a
// word wider than the width, anywhere; no line limit; paragraphs left to right.
std::unique_ptr<QTextLayout> wrappedLayout(const QString& text, const QFont& font, int width,
                                           Qt::Alignment alignment);
int wrappedTextHeight(const QString& text, const QFont& font, int width);
// The layout a cell draws: one line when wrappedTextHeight() counts one (a
// text measured to fit is never wrapped by the layout's own widths), else
// wrappedLayout().
std::unique_ptr<QTextLayout> cellLayout(const QString& text, const QFont& font, int width,
                                        Qt::Alignment alignment);
// Draws it at the top of `rect` with the given horizontal alignment; `formats`
// mark ranges (a selection) drawn in their own colours.
void drawWrappedText(QPainter& painter, const QString& text, const QFont& font, const QRect& rect,
                     Qt::Alignment alignment, const QColor& color,
                     const QList<QTextLayout::FormatRange>& formats = {});
// Ranges that draw the visible marks of a text (bidi_isolation.h) in
// `color`; at most a few thousand, the first ones.
QList<QTextLayout::FormatRange> visibleMarkFormats(const IsolatedText& text, const QColor& color);
// `text` cut to fit `width` in `metrics` on one line, with "…" at its end
// or, for `middle`, between its start and its end; its line breaks become
// spaces. A visible mark is kept whole or left out, never cut, and those
// kept are listed at their new places, so they are drawn as marks still;
// isolates that a cut leaves open are closed before the "…" and opened
// again after it. A text that fits is only given its spaces.
IsolatedText elidedText(const IsolatedText& text, const QFontMetrics& metrics, int width,
                        bool middle);
// The text position nearest to a point of a laid-out text (its own coordinates).
int cursorAt(const QTextLayout& layout, QPointF point);
// What a list cell shows of a text: all of it, up to a few thousand
// characters (laying out more would stall the window for a multi-megabyte
// line, and no cell shows that much); beyond that the start and a note of
// how much is left out.
QString shownText(const QString& text);

}  // namespace korvantis::ui

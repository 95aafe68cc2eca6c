#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

class QPainter;

namespace korvantis::ui {

// Text laid out within a fixed width, wrapping at word boundaries and, for a
// word wider than the width, anywhere; no line limit.
int wrappedTextHeight(const QString& text, const QFont& font, int width);
// Draws it at the top of `rect` with the given horizontal alignment.
void drawWrappedText(QPainter& painter, const QString& text, const QFont& font, const QRect& rect,
                     Qt::Alignment alignment, const QColor& color);
// What a list cell shows of a text: all of it, up to a length past which
// laying it out would stall the window (a multi-megabyte line); beyond that
// the start and a note of how much is left out.
QString shownText(const QString& text);
// The width of the text on one line.
int singleLineWidth(const QString& text, const QFont& font);

}  // namespace korvantis::ui

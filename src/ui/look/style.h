#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>
#include <QStringList>

#include "rules/sigma_rule.h"
#include "ui/look/field_mark.h"

namespace korvantis::ui {

// The two marking colours, shared by the rows, the legend and the error list,
// in shades that read on `palette`'s backgrounds.
QColor greenColor(const QPalette& palette);
QColor pinkColor(const QPalette& palette);

// What "standard" means for a panel's unmarked cells.
enum class StandardColor {
    paletteText,  // the palette's text colour (follows light and dark themes)
    white,        // white, or the palette's text colour where white would not be readable
};

// True when `background` is light enough that white text on it is unreadable.
bool isLightColor(const QColor& background);

// White where the background is dark, else the palette's text colour.
// `background` and `text` name the palette roles the text is drawn with.
QColor readableWhite(const QPalette& palette, QPalette::ColorRole background = QPalette::Base,
                     QPalette::ColorRole text = QPalette::Text);

// The one mapping from a cell's mark to the colour it is drawn in.
QColor markColor(Mark mark, StandardColor standard, const QPalette& palette);

// The timeline's colours: its background, the bars of process, file and
// other rows stacked, the whole trace's outline behind them, the range being
// dragged, the chosen row's mark and the ticks' text. Taken from `palette`
// so that they follow light and dark themes.
struct TimelineColors {
    QColor background;
    QColor process;
    QColor file;
    QColor other;
    QColor outline;
    QColor range;
    QColor chosen;
    QColor text;
};
TimelineColors timelineColors(const QPalette& palette);

// The bar that marks a bookmarked row at its left edge, and its width.
QColor bookmarkColor(const QPalette& palette);
inline constexpr int kBookmarkBarWidth = 4;

// The backgrounds highlight rules paint rows with, by the names sessions
// keep them by, in shades on which the text and both marking colours read at
// 4.5:1 or more; an invalid colour for a name not among them.
const QStringList& highlightColourNames();
QColor highlightColor(const QString& name, const QPalette& palette);
// The mark of a row with detection rule hits, by the highest level among
// them (informational the palette's placeholder grey, then blue, amber,
// orange and red), in shades that read on `palette`'s backgrounds.
QColor ruleLevelColor(RuleLevel level, const QPalette& palette);

// The colour of a query that has an error, and of a count of load errors.
QColor filterErrorColor(const QPalette& palette);

// Registers the bundled fallback font with the font database (once; cheap
// afterwards). Needs a QGuiApplication.
void registerFonts();
// "Chalkboard" where it is installed, else the bundled informal font.
QString listFontFamily();
// Header texts and row cells of the event lists, in pixel sizes so that text
// and the fixed column widths scale together.
QFont headerFont();
QFont rowFont();

}  // namespace korvantis::ui

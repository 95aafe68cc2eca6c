#pragma once

#include <QSettings>

namespace korvantis::ui {

// The one file that keeps every choice of the viewer (columns, widths, time
// display, timeline, wrapping, export format...): organization and
// application "Korvantis".
QSettings viewerSettings();

// Takes over, once, the values that earlier versions wrote to a second file
// under no organization ("Unknown Organization"): each key the one file does
// not have yet. Later calls change nothing.
void takeOverStraySettings();

}  // namespace korvantis::ui

#pragma once

#include <QString>
#include <QStringView>

#include <vector>

namespace korvantis::ui {

// A text prepared for display so that paths read in their logical order: each
// line sits in a left-to-right isolate (LRI ... PDI) and each part between
// separators ("/", the JSON form "\/", a double quote) in a first-strong
// isolate (FSI ... PDI). A folder name in Hebrew or Arabic still reads right
// to left, but it can no longer swap places with its neighbours, which plain
// bidi ordering does to two right-to-left folders separated by a slash.
// Isolate marks already in the text are balanced within their part, so a
// stray one cannot undo the isolation of the rest.
struct IsolatedText {
    QString shown;
    std::vector<bool> inserted;  // per character of `shown`: a mark added for display

    // The original characters of shown[from, to): what a copy must give.
    QString original(qsizetype from, qsizetype to) const;
};

IsolatedText isolatePathParts(QStringView text);

}  // namespace korvantis::ui

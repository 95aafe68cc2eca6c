#pragma once

#include <QString>
#include <QStringView>

#include <utility>
#include <vector>

namespace korvantis::ui {

// A text prepared for display so that paths read in their logical order: each
// line sits in a left-to-right isolate (LRI ... PDI) and each part between
// separators ("/", the JSON form "\/", a double quote) in a first-strong
// isolate (FSI ... PDI). A folder name in Hebrew or Arabic still reads right
// to left, but it can no longer swap places with its neighbours, which plain
// bidi ordering does to two right-to-left folders separated by a slash.
//
// Characters that would act unseen (bidirectional controls such as U+202E,
// which turns "/tmp/<U+202E>txt.exe" into "/tmp/exe.txt" on screen, and other
// invisible format and control characters) are shown as visible marks,
// "⟨U+202E⟩", and stand for themselves in a copy.
struct IsolatedText {
    QString shown;
    std::vector<bool> inserted;  // per character of `shown`: a mark added for display
    // Where a visible mark starts in `shown`, and the character it stands
    // for; in order. Each mark is kVisibleMarkLength characters long.
    std::vector<std::pair<qsizetype, char16_t>> visibleMarks;

    // The original characters of shown[from, to): what a copy must give.
    QString original(qsizetype from, qsizetype to) const;
};

inline constexpr qsizetype kVisibleMarkLength = 8;  // "⟨U+202E⟩"

IsolatedText isolatePathParts(QStringView text);
// Only the visible marks, for a text that is not a path.
IsolatedText withVisibleMarks(QStringView text);
// Whether a character is one shown as a visible mark.
bool actsUnseen(QChar c);

}  // namespace korvantis::ui

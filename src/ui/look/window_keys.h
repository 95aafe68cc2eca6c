#pragma once

#include <QKeySequence>
#include <QString>
#include <QStringList>

#include <span>

namespace korvantis::ui {

// What a key of a main window does. `none`: a key the list or the text under
// the focus handles itself, listed for the user only.
enum class WindowCommand {
    none,
    nextTab,
    previousTab,
    focusFilter,
    follow,
    legend,
    errors,
    importJson,
    exportRows,
    timeline,
    summary,
    bookmark,
    nextBookmark,
    previousBookmark,
    marks,
    cancelLoad,
    newWindow,
    closeWindow,
    quit,
};

// One key and its command. `what` is the words "Keyboard Shortcuts" shows
// for it; nullptr when it shares the line of the key before it.
struct WindowKey {
    WindowCommand command;
    QKeyCombination keys;
    const char* what;
};

// Every key of a main window, in the order the shortcuts dialog and the
// README list them: the menus, the window's shortcuts and the dialog all
// read their keys here, so that a key is written once.
std::span<const WindowKey> windowKeys();

// The key of `command`; empty for a command without one.
QKeySequence keysOf(WindowCommand command);

// One line of the key list: its keys as the user reads them ("F2, Shift+F2")
// and what they do, untranslated.
struct KeyListLine {
    QString keys;
    const char* what;
};
QList<KeyListLine> keyListLines();

}  // namespace korvantis::ui

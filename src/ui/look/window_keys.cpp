#include "ui/look/window_keys.h"

namespace korvantis::ui {

using namespace Qt::StringLiterals;

namespace {

using C = WindowCommand;

constexpr WindowKey kWindowKeys[] = {
    {C::none, Qt::Key_Up, "choose rows"},
    {C::none, Qt::Key_Down, nullptr},
    {C::none, Qt::Key_PageUp, nullptr},
    {C::none, Qt::Key_PageDown, nullptr},
    {C::none, Qt::Key_Home, nullptr},
    {C::none, Qt::Key_End, nullptr},
    {C::nextTab, Qt::CTRL | Qt::Key_Tab, "switch tabs"},
    // Shift+Tab arrives as Backtab with Shift held.
    {C::previousTab, Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab, nullptr},
    {C::focusFilter, Qt::CTRL | Qt::Key_F, "go to the filter field (Esc in it clears it)"},
    {C::follow, Qt::CTRL | Qt::SHIFT | Qt::Key_F,
     "follow the logs: load lines appended to them (Follow)"},
    {C::legend, Qt::CTRL | Qt::Key_L, "show or hide the legend"},
    {C::errors, Qt::CTRL | Qt::Key_R, "show or hide the error list"},
    {C::none, Qt::CTRL | Qt::Key_C, "copy the selected text or row"},
    {C::importJson, Qt::CTRL | Qt::Key_O, "import a log (Import Json\u2026)"},
    {C::exportRows, Qt::CTRL | Qt::Key_E,
     "export the rows the current tab shows, as JSON lines or CSV"},
    {C::timeline, Qt::CTRL | Qt::Key_T, "show or hide the timeline"},
    {C::summary, Qt::CTRL | Qt::Key_I, "show the summary of the trace"},
    {C::bookmark, Qt::CTRL | Qt::Key_B, "bookmark the chosen row, or take its bookmark off"},
    {C::nextBookmark, Qt::Key_F2, "go to the next or previous bookmarked row"},
    {C::previousBookmark, Qt::SHIFT | Qt::Key_F2, nullptr},
    {C::marks, Qt::CTRL | Qt::SHIFT | Qt::Key_M, "show the marked rows (Marks)"},
    // Held by the note's editor under the facts card, not by the window.
    {C::none, Qt::CTRL | Qt::Key_Return, "keep the note being edited under the facts card"},
    {C::cancelLoad, Qt::Key_Escape, "cancel the running load"},
    {C::newWindow, Qt::CTRL | Qt::Key_N, "open another main window"},
    {C::closeWindow, Qt::CTRL | Qt::Key_W, "close this window"},
    {C::quit, Qt::CTRL | Qt::Key_Q, "quit"},
};

// The key as the user reads it on the keyboard: Ctrl+Shift+Tab, not the
// Backtab Qt reports; PgDn beside PgUp, as keys are labelled.
QString keyText(QKeyCombination keys) {
    if (keys.key() == Qt::Key_Backtab) {
        keys = QKeyCombination(keys.keyboardModifiers(), Qt::Key_Tab);
    }
    QString text = QKeySequence(keys).toString(QKeySequence::PortableText);
    return keys.key() == Qt::Key_PageDown ? text.replace(u"PgDown"_s, u"PgDn"_s) : text;
}

}  // namespace

std::span<const WindowKey> windowKeys() {
    return kWindowKeys;
}

QKeySequence keysOf(WindowCommand command) {
    for (const WindowKey& k : kWindowKeys) {
        if (k.command == command && command != WindowCommand::none) {
            return QKeySequence(k.keys);
        }
    }
    return {};
}

QList<KeyListLine> keyListLines() {
    QList<KeyListLine> lines;
    for (const WindowKey& k : kWindowKeys) {
        if (k.what || lines.isEmpty()) {
            lines.append({keyText(k.keys), k.what});
        } else {
            lines.last().keys += QStringLiteral(", ") + keyText(k.keys);
        }
    }
    return lines;
}

}  // namespace korvantis::ui

#include "ui/window/shortcuts_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace korvantis::ui {

namespace {

struct KeyHelp {
    const char* keys;
    const char* what;
};

// The keys the README lists, in the same words.
constexpr KeyHelp kKeys[] = {
    {"Up, Down, PgUp, PgDn, Home, End", "choose rows"},
    {"Ctrl+Tab, Ctrl+Shift+Tab", "switch tabs"},
    {"Ctrl+F", "go to the filter field (Esc in it clears it)"},
    {"Ctrl+Shift+F", "follow the logs: load lines appended to them (Follow)"},
    {"Ctrl+L", "show or hide the legend"},
    {"Ctrl+R", "show or hide the error list"},
    {"Ctrl+C", "copy the selected text or row"},
    {"Ctrl+O", "import a log (Import Json\u2026)"},
    {"Ctrl+E", "export the rows the current tab shows, as JSON lines or CSV"},
    {"Ctrl+T", "show or hide the timeline"},
    {"Ctrl+I", "show the summary of the trace"},
    {"Ctrl+B", "bookmark the chosen row, or take its bookmark off"},
    {"F2, Shift+F2", "go to the next or previous bookmarked row"},
    {"Ctrl+Shift+M", "show the marked rows (Marks)"},
    {"Ctrl+Return", "keep the note being edited under the facts card"},
    {"Esc", "cancel the running load"},
    {"Ctrl+N", "open another main window"},
    {"Ctrl+W", "close this window"},
    {"Ctrl+Q", "quit"},
};

}  // namespace

ShortcutsDialog::ShortcutsDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Keyboard Shortcuts"));
    auto* label = new QLabel(text(), this);
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(buttons);
}

QString ShortcutsDialog::text() {
    QString rows;
    for (const KeyHelp& k : kKeys) {
        rows += QStringLiteral("<tr><td><b>%1</b></td><td>&nbsp;&nbsp;%2</td></tr>")
                    .arg(QString::fromUtf8(k.keys).toHtmlEscaped(), tr(k.what).toHtmlEscaped());
    }
    return QStringLiteral("<table>%1</table>").arg(rows);
}

}  // namespace korvantis::ui

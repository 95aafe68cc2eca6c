#include "ui/window/shortcuts_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/look/window_keys.h"

namespace korvantis::ui {

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
    for (const KeyListLine& line : keyListLines()) {
        rows += QStringLiteral("<tr><td><b>%1</b></td><td>&nbsp;&nbsp;%2</td></tr>")
                    .arg(line.keys.toHtmlEscaped(), tr(line.what).toHtmlEscaped());
    }
    return QStringLiteral("<table>%1</table>").arg(rows);
}

}  // namespace korvantis::ui

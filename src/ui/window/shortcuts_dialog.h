#pragma once

#include <QDialog>
#include <QString>

namespace korvantis::ui {

// "Keyboard Shortcuts": every key of a main window and what it does.
class ShortcutsDialog : public QDialog {
    Q_OBJECT
  public:
    explicit ShortcutsDialog(QWidget* parent = nullptr);

    // The table it shows, rich text.
    static QString text();
};

}  // namespace korvantis::ui

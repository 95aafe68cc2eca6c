#pragma once

#include <QDialog>
#include <QString>

namespace korvantis::ui {

// "About Korvantis": the version, the program's licence and the third-party
// components with theirs.
class AboutBox : public QDialog {
    Q_OBJECT
  public:
    explicit AboutBox(QWidget* parent = nullptr);

    // The text it shows, rich text.
    static QString text();
};

}  // namespace korvantis::ui

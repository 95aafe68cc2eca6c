#pragma once

#include <QFileDialog>
#include <QString>

#include <functional>

namespace korvantis::ui {

// The window's save dialog: Qt's own (the same everywhere), non-blocking,
// deleted when closed. A name typed without a suffix gets the suffix of the
// chosen name filter before the dialog asks whether to replace a file, so
// the question is about the file really written (however the filter was
// chosen: by the user or by a call).
class SaveDialog : public QFileDialog {
    Q_OBJECT
  public:
    // The suffix (without its dot) for a name filter of the dialog.
    using SuffixFor = std::function<QString(const QString& nameFilter)>;

    SaveDialog(QWidget* parent, const QString& title, SuffixFor suffixFor);

    void accept() override;

  private:
    SuffixFor suffixFor_;
};

}  // namespace korvantis::ui

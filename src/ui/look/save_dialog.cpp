#include "ui/look/save_dialog.h"

namespace korvantis::ui {

SaveDialog::SaveDialog(QWidget* parent, const QString& title, SuffixFor suffixFor)
    : QFileDialog(parent, title), suffixFor_(std::move(suffixFor)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    setWindowModality(Qt::NonModal);
    connect(this, &QFileDialog::filterSelected, this,
            [this](const QString& filter) { setDefaultSuffix(suffixFor_(filter)); });
}

void SaveDialog::accept() {
    // The filter may have been chosen without a signal (selectNameFilter).
    setDefaultSuffix(suffixFor_(selectedNameFilter()));
    QFileDialog::accept();
}

}  // namespace korvantis::ui

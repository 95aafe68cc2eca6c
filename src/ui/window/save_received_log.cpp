#include "ui/window/save_received_log.h"

#include <QFile>
#include <QMessageBox>

#include "output/received_log.h"
#include "ui/look/save_dialog.h"
#include "workspace/workspace.h"

namespace korvantis::ui {

bool hasReceivedLog(const Workspace& workspace) {
    return firstReceivedLog(workspace.store.logFiles()).has_value();
}

void chooseFileForReceivedLog(QWidget* owner, Workspace& workspace) {
    const auto log = firstReceivedLog(workspace.store.logFiles());
    if (!log) {
        return;
    }
    auto* dialog = new SaveDialog(owner, QObject::tr("Save received log as"),
                                  [](const QString&) { return QStringLiteral("json"); });
    QObject::connect(
        dialog, &QFileDialog::fileSelected, owner,
        [owner, &workspace, log = *log](const QString& chosen) {
            const std::string error = saveReceivedLog(workspace.store.logFiles(), log,
                                                      QFile::encodeName(chosen).toStdString());
            if (error.empty()) {
                return;
            }
            auto* box = new QMessageBox(QMessageBox::Warning, QObject::tr("Save received log as"),
                                        QString::fromStdString(error), QMessageBox::Ok, owner);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->show();
        });
    dialog->show();
}

}  // namespace korvantis::ui

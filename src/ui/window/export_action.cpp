#include "ui/window/export_action.h"

#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QMetaObject>

#include <algorithm>

#include "output/snapshot_export.h"
#include "query/rows_snapshot.h"
#include "ui/look/save_dialog.h"
#include "ui/look/view_texts.h"
#include "ui/look/viewer_settings.h"
#include "ui/look/worker_priority.h"
#include "ui/rows/filtered_row_source.h"

namespace korvantis::ui {

namespace {

const QString kFormatKey = QStringLiteral("export/format");

}  // namespace

ExportAction::ExportAction(Workspace& workspace, CurrentRows current, QWidget* parent)
    : QObject(parent), workspace_(workspace), current_(std::move(current)), owner_(parent) {
    pool_.setMaxThreadCount(1);
    presenter_ = [this](const QString& title, const QString& text) {
        QMessageBox box(QMessageBox::Warning, title, title, QMessageBox::Ok, owner_);
        box.setInformativeText(text);
        box.exec();
    };
}

ExportAction::~ExportAction() {
    stop_->store(true);
    pool_.clear();
    pool_.waitForDone();
}

ExportFormat ExportAction::formatFor(const QString& path, const QString& nameFilter) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("csv")) {
        return ExportFormat::csv;
    }
    if (suffix == QLatin1String("jsonl") || suffix == QLatin1String("json")) {
        return ExportFormat::jsonLines;
    }
    return nameFilter == exportCsvFilter() ? ExportFormat::csv : ExportFormat::jsonLines;
}

void ExportAction::chooseFile() {
    // A name without a suffix gets the chosen format's.
    auto* dialog = new SaveDialog(owner_, exportDialogTitle(), [](const QString& filter) {
        return filter == exportCsvFilter() ? QStringLiteral("csv") : QStringLiteral("jsonl");
    });
    dialog->setNameFilters({exportJsonLinesFilter(), exportCsvFilter()});
    // The format chosen last time is offered first.
    if (viewerSettings().value(kFormatKey).toString() == QLatin1String("csv")) {
        dialog->selectNameFilter(exportCsvFilter());
    }
    dialog->setWindowModality(Qt::NonModal);
    connect(dialog, &QFileDialog::fileSelected, this, [this, dialog](const QString& chosen) {
        const ExportFormat format = formatFor(chosen, dialog->selectedNameFilter());
        viewerSettings().setValue(kFormatKey, format == ExportFormat::csv
                                                  ? QStringLiteral("csv")
                                                  : QStringLiteral("jsonl"));
        exportTo(chosen, format);
    });
    dialog->show();
}

void ExportAction::exportTo(const QString& path, ExportFormat format) {
    FilteredRowSource* rows = current_ ? current_() : nullptr;
    if (rows == nullptr) {
        return;
    }
    // What is shown now, in its order; the worker reads only this.
    const RowKind kind = rows->kind();
    const std::size_t total = static_cast<std::size_t>(rows->totalCount());
    auto shown = rows->shownRows() ? std::make_shared<const RowNumbers>(*rows->shownRows())
                                   : std::shared_ptr<const RowNumbers>();
    auto snapshot =
        std::make_shared<const RowsSnapshot>(RowsSnapshot::of(workspace_.store, kind, total));
    const std::string target = QFile::encodeName(path).toStdString();
    ExportedRows exported{kind, nullptr};
    if (shownFields_) {
        const FieldList& every = defaultCsvFields();
        for (const FieldId field : shownFields_(kind)) {
            if (std::find(every.begin(), every.end(), field) == every.end()) {
                exported.csvFields.push_back(field);
            }
        }
    }
    ++running_;
    auto stop = stop_;
    pool_.start([this, path, format, exported, shown, snapshot, target, stop]() mutable {
        lowerWorkerPriority();
        exported.shown = shown.get();
        const ExportResult result =
            exportSnapshotRows(target, format, *snapshot, exported, stop.get());
        const QString error = QString::fromStdString(result.error);
        const qulonglong count = result.rows;
        QMetaObject::invokeMethod(
            this,
            [this, path, count, error] {
                --running_;
                if (!error.isEmpty()) {
                    presenter_(exportFailedTitle(), error);
                }
                emit finished(path, count, error);
            },
            Qt::QueuedConnection);
    });
}

}  // namespace korvantis::ui

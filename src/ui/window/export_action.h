#pragma once

#include <QObject>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "output/row_export.h"
#include "ui/list/panel_columns.h"
#include "workspace/workspace.h"

class QWidget;

namespace korvantis::ui {

class FilteredRowSource;

// "Export…": writes the rows a list shows, in their order, as JSON lines or
// CSV, on a worker thread (the rows are a snapshot taken when it starts). A
// failure is shown through the alert presenter; the file is then left as it
// was (see exportRowsToFile).
class ExportAction : public QObject {
    Q_OBJECT
  public:
    // Shows a failure to the user.
    using AlertPresenter = std::function<void(const QString& title, const QString& text)>;
    // The list whose shown rows are exported (the current tab's).
    using CurrentRows = std::function<FilteredRowSource*()>;

    ExportAction(Workspace& workspace, CurrentRows current, QWidget* parent);
    // Stops a running export and waits for it: it reads the store.
    ~ExportAction() override;

    // Opens a fresh, non-blocking save dialog; a chosen file is written.
    void chooseFile();
    // Writes the current list's shown rows to `path`.
    void exportTo(const QString& path, ExportFormat format);
    bool running() const { return running_ > 0; }

    // JSON lines or CSV by the file's extension, else by the dialog filter.
    static ExportFormat formatFor(const QString& path, const QString& nameFilter);

    // The fields a list shows as columns: those beyond the six every record
    // has are added to its CSV records, in their order. None unless set.
    using ShownFields = std::function<std::vector<FieldId>(RowKind kind)>;
    void setShownFields(ShownFields fields) { shownFields_ = std::move(fields); }

    // Replaces the presenter (tests). The default shows a warning message box.
    void setAlertPresenter(AlertPresenter presenter) { presenter_ = std::move(presenter); }

  signals:
    // After every export; `error` is empty on success.
    void finished(const QString& path, qulonglong rows, const QString& error);

  private:
    Workspace& workspace_;
    CurrentRows current_;
    QWidget* owner_;
    AlertPresenter presenter_;
    ShownFields shownFields_;
    QThreadPool pool_;
    std::shared_ptr<std::atomic<bool>> stop_ = std::make_shared<std::atomic<bool>>(false);
    int running_ = 0;
};

}  // namespace korvantis::ui

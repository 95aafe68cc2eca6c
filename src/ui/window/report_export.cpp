// The report of a window's marked rows, written to a file.

#include "ui/window/report_export.h"

#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMetaObject>

#include <unistd.h>

#include <cerrno>
#include <memory>

#include "investigation/marks_report.h"
#include "output/file_replacement.h"
#include "query/rows_snapshot.h"
#include "ui/look/view_texts.h"
#include "ui/marks/window_marks.h"
#include "ui/window/filter_bar.h"
#include "ui/window/main_view.h"
#include "workspace/workspace.h"

namespace korvantis::ui {

ReportExport::ReportExport(MainView& view, const WindowMarks& marks)
    : QObject(&view), view_(view), marks_(marks) {
    pool_.setMaxThreadCount(1);
}

ReportExport::~ReportExport() {
    pool_.waitForDone();
}

void ReportExport::chooseFile() {
    auto* dialog = new QFileDialog(&view_, exportReportActionText(), {}, reportFilter());
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("html"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::fileSelected, this, &ReportExport::exportTo);
    dialog->open();
}

void ReportExport::exportTo(const QString& path) {
    const EventStore& store = view_.workspace().store;
    // The filter as typed; one that does not parse reports every marked row
    // under its text, as the list then shows them all.
    const std::string filter = view_.filterBar()->field()->text().toStdString();
    ParsedFilterQuery parsed = parseFilterQuery(filter);
    FilterQuery query = parsed.query ? std::move(*parsed.query) : *parseFilterQuery("").query;
    if (!query.treeRoots().empty()) {
        const PreviewRows& procs = store.rows(RowKind::process);
        query.bindTrees(processLinks(procs.snapshot(procs.size())));
    }
    auto html =
        std::make_shared<const std::string>(marksReport(store, marks_.rowMarks(), filter, query));
    ++running_;
    const std::string target = QFile::encodeName(path).toStdString();
    pool_.start([this, html, target, path] {
        const std::string failed = replaceFile(target, [&](int fd) -> std::string {
            const char* at = html->data();
            std::size_t left = html->size();
            while (left > 0) {
                const ssize_t n = ::write(fd, at, left);
                if (n < 0) {
                    if (errno == EINTR) {
                        continue;
                    }
                    return writeFailure(target, errno);
                }
                at += n;
                left -= static_cast<std::size_t>(n);
            }
            return {};
        });
        QMetaObject::invokeMethod(
            this,
            [this, path, failed] {
                --running_;
                emit finished(path, QString::fromStdString(failed));
            },
            Qt::QueuedConnection);
    });
}

}  // namespace korvantis::ui

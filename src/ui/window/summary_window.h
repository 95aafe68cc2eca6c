#pragma once

#include <QThreadPool>
#include <QWidget>

#include "query/trace_summary.h"
#include "ui/rows/store_notifier.h"

class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

namespace korvantis::ui {

// A window of who did most in the trace: the events per type, the programs
// with most events, the most touched file paths and the busiest seconds,
// counted on a worker over every loaded row, again as rows arrive while it
// is shown. Clicking a line asks for the filter that keeps its rows.
class SummaryWindow : public QWidget {
    Q_OBJECT
  public:
    explicit SummaryWindow(StoreNotifier& notifier, QWidget* parent = nullptr);
    // Waits for the worker: it reads the store.
    ~SummaryWindow() override;

    // Whether the lines show the rows as they are now.
    bool ready() const { return !running_ && counted_; }
    const TraceSummary& summary() const { return summary_; }
    QTreeWidget* lines() const { return lines_; }
    // The section items, in order: types, programs, paths, seconds.
    QTreeWidgetItem* section(SummaryLine::Kind kind) const;

  signals:
    void lineChosen(const korvantis::SummaryLine& line);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void recount();
    void finished(TraceSummary summary);
    void fill();
    void choose(QTreeWidgetItem* item);

    StoreNotifier& notifier_;
    QThreadPool pool_;
    bool running_ = false;
    bool again_ = false;
    bool counted_ = false;
    TraceSummary summary_;
    QLabel* total_;
    QTreeWidget* lines_;
};

}  // namespace korvantis::ui

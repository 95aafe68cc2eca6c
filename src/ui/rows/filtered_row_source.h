#pragma once

#include <QThreadPool>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

#include "query/filter_query.h"
#include "query/row_bits.h"
#include "query/row_filter.h"
#include "query/tree_set_cache.h"
#include "store/row_kind.h"
#include "store/store_index.h"
#include "ui/rows/row_source.h"
#include "ui/rows/store_notifier.h"

namespace korvantis::ui {

// The rows of one list that a filter query shows, as row numbers into the
// store's list, read through the list of all rows. Without a query it shows
// every row. A query is matched on a worker thread against a snapshot of the
// store, so typing never waits for a million rows; the rows shown change in
// one step when the newest query's run is done (an older run stops early and
// its result is dropped). Rows that arrive while a load runs are matched as
// they come, only the appended range, and with them the rows already
// matched whose outcome changed since (their run ended), so that the rows
// shown are always those a fresh match of the store would give once the
// store stops changing.
class FilteredRowSource final : public RowSource {
    Q_OBJECT
  public:
    FilteredRowSource(RowKind kind, StoreNotifier& notifier);
    // Stops the runs and waits for the worker: it reads the store.
    ~FilteredRowSource() override;

    int rowCount() const override;
    RowView row(int row) const override;
    QString text(int row, FieldId field) const override;
    Mark mark(int row, FieldId field) const override;
    LinePlace rowPlace(int row) const override;

    RowKind kind() const { return kind_; }
    Workspace& workspace() const { return workspace_; }
    // The row of the store's list a shown row is.
    std::size_t storeRow(int row) const;
    // The shown row of the store's line at `place`, or -1 when it is not shown.
    int shownRowAt(LinePlace place) const;
    // Rows of the store's list, filtered or not.
    int totalCount() const { return all_->rowCount(); }
    // Whether a query is in force (its rows shown).
    bool filtered() const { return filtered_; }
    // The shown rows' numbers while filtered, else null.
    const RowNumbers* shownRows() const { return filtered_ ? &shown_ : nullptr; }

    // Keeps the shown rows as bits too (set before the first query), made on
    // the worker when a run replaces them: what a highlight rule reads.
    void keepBits() { keepBits_ = true; }
    // The shown rows as bits while filtered and kept, else null. A later
    // change makes new bits: what was handed out stays as it was.
    std::shared_ptr<const RowBits> shownBits() const { return filtered_ ? bits_ : nullptr; }

    // Shares the sets of tree terms with another list's source.
    void setTreeSets(std::shared_ptr<TreeSetCache> sets) { treeSets_ = std::move(sets); }

    // Matches every row against `query`, or shows every row for nothing.
    void setQuery(std::optional<FilterQuery> query);
    // Whether a run of the newest query is still going.
    bool searching() const { return pending_ != 0; }
    // Share of the rows a raw-line run has looked at, 0..1 (1 when none runs).
    double progress() const { return progress_; }
    // Rows a `json:` term of the query in force had to look at but whose
    // raw line could not be read again: neither shown nor hidden.
    std::size_t unreadableCount() const { return filtered_ ? unreadable_.size() : 0; }

  signals:
    // The shown, total or unreadable count, or whether a query is in force,
    // changed.
    void countsChanged();
    // A run started, made progress or ended.
    void searchChanged();

  private:
    struct Outcome;
    void allRowsAppended();
    // Sees whether runs ended since the last look.
    void storeChanged();
    // The rows' tags or notes changed: a query that reads them runs again.
    void rowMarksChanged();
    // The process rows below `below` whose runs ended since the last pass
    // took them, ascending; takes them all.
    RowNumbers takeEnded(std::size_t below);
    bool endedToTake() const;
    void start(std::size_t from, bool replace,
               std::shared_ptr<const RowNumbers> candidates = nullptr);
    void finished(Outcome& outcome);
    // The bits to change, no longer shared with a reader.
    RowBits& ownBits();

    RowKind kind_;
    Workspace& workspace_;
    std::unique_ptr<RowSource> all_;
    std::shared_ptr<TreeSetCache> treeSets_ = std::make_shared<TreeSetCache>();
    QThreadPool pool_;
    std::shared_ptr<const FilterQuery> query_;    // the newest query; null: none
    std::shared_ptr<const FilterQuery> applied_;  // the query whose rows are shown
    std::shared_ptr<const FilterQuery> bound_;    // it with its tree terms bound
    std::shared_ptr<std::atomic<bool>> stop_;     // of the newest run
    std::uint64_t generation_ = 0;                // of the newest query
    bool filtered_ = false;
    RowNumbers shown_;
    bool keepBits_ = false;
    std::shared_ptr<RowBits> bits_;  // shown_ as bits, when kept
    RowNumbers unreadable_;          // ascending
    std::size_t covered_ = 0;        // store rows the shown rows were matched over
    std::size_t endedTaken_ = 0;     // of the runs ended, those a pass looked at
    std::size_t endedSeen_ = 0;      // of them, those the cells were repainted for
    int pending_ = 0;                // runs of the newest query not yet done
    double progress_ = 1.0;
};

}  // namespace korvantis::ui

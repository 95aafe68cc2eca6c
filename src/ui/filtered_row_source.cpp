#include "ui/filtered_row_source.h"

#include <QMetaObject>

#include <algorithm>
#include <iterator>

#include "query/rows_snapshot.h"
#include "ui/store_row_source.h"
#include "ui/worker_priority.h"

namespace korvantis::ui {

// What a run of the worker matches: rows [from, to) of the list, with the
// query, against a snapshot taken when it started.
struct FilteredRowSource::Run {
    std::uint64_t generation;
    std::shared_ptr<const FilterQuery> query;
    std::shared_ptr<const FilterQuery> bound;  // the previous binding, for appended rows
    RowsSnapshot snapshot;
    std::size_t from;
    std::size_t to;
    bool replace;  // the result replaces the shown rows (else it is appended)
    std::shared_ptr<std::atomic<bool>> stop;
    // When set, only these rows and those from `from` on are looked at (the
    // query narrows the one whose rows these are).
    std::shared_ptr<const RowNumbers> candidates;
};

struct FilteredRowSource::Outcome {
    std::uint64_t generation;
    std::shared_ptr<const FilterQuery> query;
    std::shared_ptr<const FilterQuery> bound;
    RowNumbers rows;
    RowNumbers unreadable;
    std::size_t to;
    bool replace;
};

namespace {

// Whether the two bindings give some tree term sets of other sizes (a set
// only grows while rows are appended).
bool treesGrew(const FilterQuery& before, const FilterQuery& now) {
    const auto& a = before.terms();
    const auto& b = now.terms();
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        const std::size_t was = a[i].tree ? a[i].tree->size() : 0;
        const std::size_t is = b[i].tree ? b[i].tree->size() : 0;
        if (was != is) {
            return true;
        }
    }
    return false;
}

}  // namespace

FilteredRowSource::FilteredRowSource(RowKind kind, StoreNotifier& notifier)
    : kind_(kind), workspace_(notifier.workspace()), all_(makeStoreRowSource(kind, notifier)) {
    // One run at a time per list; the two lists' sources run side by side.
    pool_.setMaxThreadCount(1);
    connect(all_.get(), &RowSource::rowsAppended, this, &FilteredRowSource::allRowsAppended);
    connect(all_.get(), &RowSource::marksChanged, this, &RowSource::marksChanged);
}

FilteredRowSource::~FilteredRowSource() {
    if (stop_) {
        stop_->store(true);
    }
    pool_.clear();
    pool_.waitForDone();
}

int FilteredRowSource::rowCount() const {
    return filtered_ ? static_cast<int>(shown_.size()) : all_->rowCount();
}

std::size_t FilteredRowSource::storeRow(int row) const {
    return filtered_ ? shown_[static_cast<std::size_t>(row)] : static_cast<std::size_t>(row);
}

QString FilteredRowSource::text(int row, FieldKey key) const {
    return all_->text(static_cast<int>(storeRow(row)), key);
}

Mark FilteredRowSource::mark(int row, FieldKey key) const {
    return all_->mark(static_cast<int>(storeRow(row)), key);
}

Uuid FilteredRowSource::rowId(int row) const {
    return all_->rowId(static_cast<int>(storeRow(row)));
}

int FilteredRowSource::shownRowOf(const Uuid& id) const {
    const EventStore& store = workspace_.store;
    const auto entry = store.lineRefs().indexOf(id);
    if (!entry) {
        return -1;
    }
    const auto row = kind_ == RowKind::process ? store.procPreviewOf(*entry)
                     : kind_ == RowKind::file  ? store.filePreviewOf(*entry)
                                               : store.otherPreviewOf(*entry);
    if (!row || *row >= static_cast<std::size_t>(all_->rowCount())) {
        return -1;
    }
    if (!filtered_) {
        return static_cast<int>(*row);
    }
    const auto at = std::lower_bound(shown_.begin(), shown_.end(), *row);
    return at != shown_.end() && *at == *row ? static_cast<int>(at - shown_.begin()) : -1;
}

void FilteredRowSource::setQuery(std::optional<FilterQuery> query) {
    ++generation_;
    if (stop_) {
        stop_->store(true);
    }
    stop_.reset();
    bound_.reset();
    pool_.clear();  // runs not started yet of older queries
    if (!query || query->empty()) {
        query_.reset();
        applied_.reset();
        pending_ = 0;
        progress_ = 1.0;
        if (filtered_) {
            filtered_ = false;
            shown_ = {};
            unreadable_ = {};
            emit rowsReplaced();
            emit countsChanged();
        }
        emit searchChanged();
        return;
    }
    query_ = std::make_shared<const FilterQuery>(std::move(*query));
    pending_ = 0;
    // Typing on narrows the query: only the rows shown need another look,
    // and those that could not be read.
    if (filtered_ && applied_ && narrows(*query_, *applied_)) {
        auto candidates = std::make_shared<RowNumbers>();
        candidates->reserve(shown_.size() + unreadable_.size());
        std::merge(shown_.begin(), shown_.end(), unreadable_.begin(), unreadable_.end(),
                   std::back_inserter(*candidates));
        start(covered_, true, std::move(candidates));
        return;
    }
    start(0, true);
}

void FilteredRowSource::allRowsAppended() {
    if (!query_) {
        emit rowsAppended();
        emit countsChanged();
        return;
    }
    if (!filtered_) {
        emit rowsAppended();  // still all rows shown, until the first run is done
    }
    emit countsChanged();  // the total grew
    // A run in progress picks the new rows up when it is done.
    if (pending_ == 0 && filtered_) {
        start(covered_, false);
    }
}

void FilteredRowSource::start(std::size_t from, bool replace,
                              std::shared_ptr<const RowNumbers> candidates) {
    stop_ = std::make_shared<std::atomic<bool>>(false);
    const std::size_t to = static_cast<std::size_t>(all_->rowCount());
    const EventStore& store = workspace_.store;
    // Every process row for tree terms (the same for both lists, so their
    // sets are made once); this list up to the rows announced.
    auto run = std::make_shared<Run>(
        Run{generation_, query_, bound_,
            RowsSnapshot::of(store, store.procPreviews().size(), kind_ == RowKind::file ? to : 0,
                             kind_ == RowKind::other ? to : 0),
            from, to, replace, stop_, std::move(candidates)});
    ++pending_;
    progress_ = query_->needsRawLine() ? 0.0 : 1.0;
    emit searchChanged();
    pool_.start([this, run, treeSets = treeSets_] {
        lowerWorkerPriority();
        FilterQuery query = *run->query;
        bool replace = run->replace;
        std::size_t from = run->from;
        if (!query.treeRoots().empty()) {
            treeSets->bind(query, run->snapshot.procs);
            // A process started under the tree after some of its rows were
            // matched: match the whole list again.
            if (!replace && (!run->bound || treesGrew(*run->bound, query))) {
                replace = true;
                from = 0;
            }
        }
        const std::size_t among = run->candidates ? run->candidates->size() : 0;
        const std::size_t span = std::max<std::size_t>(1, among + run->to - from);
        int lastPercent = -1;
        FilterControl control{run->stop.get(), [&](std::size_t done) {
                                  const int percent = static_cast<int>(done * 100 / span);
                                  if (percent == lastPercent) {
                                      return;
                                  }
                                  lastPercent = percent;
                                  const std::uint64_t generation = run->generation;
                                  QMetaObject::invokeMethod(
                                      this,
                                      [this, generation, percent] {
                                          if (generation == generation_ && pending_ > 0) {
                                              progress_ = percent / 100.0;
                                              emit searchChanged();
                                          }
                                      },
                                      Qt::QueuedConnection);
                              }};
        RowNumbers unreadable;
        control.unreadable = &unreadable;
        const auto& snap = run->snapshot;
        std::optional<RowNumbers> rows = RowNumbers{};
        if (run->candidates) {
            rows = kind_ == RowKind::process
                       ? matchingRowsAmong(snap.procs, snap, query, *run->candidates, control)
                   : kind_ == RowKind::file
                       ? matchingRowsAmong(snap.files, snap, query, *run->candidates, control)
                       : matchingRowsAmong(snap.others, snap, query, *run->candidates, control);
        }
        if (rows) {
            FilterControl rest = control;
            if (control.progress) {
                rest.progress = [&](std::size_t done) { control.progress(among + done); };
            }
            auto more = kind_ == RowKind::process
                            ? matchingRows(snap.procs, snap, query, from, run->to, rest)
                        : kind_ == RowKind::file
                            ? matchingRows(snap.files, snap, query, from, run->to, rest)
                            : matchingRows(snap.others, snap, query, from, run->to, rest);
            if (more) {
                rows->insert(rows->end(), more->begin(), more->end());
            } else {
                rows.reset();
            }
        }
        if (!rows) {
            return;  // a newer query took over
        }
        auto outcome = std::make_shared<Outcome>(Outcome{
            run->generation, run->query, std::make_shared<const FilterQuery>(std::move(query)),
            std::move(*rows), std::move(unreadable), run->to, replace});
        QMetaObject::invokeMethod(
            this, [this, outcome] { finished(*outcome); }, Qt::QueuedConnection);
    });
}

void FilteredRowSource::finished(Outcome& outcome) {
    if (outcome.generation != generation_ || !query_) {
        return;
    }
    --pending_;
    applied_ = outcome.query;
    bound_ = outcome.bound;
    covered_ = outcome.to;
    if (outcome.replace || !filtered_) {
        filtered_ = true;
        shown_ = std::move(outcome.rows);
        unreadable_ = std::move(outcome.unreadable);
        emit rowsReplaced();
        emit countsChanged();
    } else if (!outcome.rows.empty() || !outcome.unreadable.empty()) {
        shown_.insert(shown_.end(), outcome.rows.begin(), outcome.rows.end());
        unreadable_.insert(unreadable_.end(), outcome.unreadable.begin(), outcome.unreadable.end());
        emit rowsAppended();
        emit countsChanged();
    }
    if (pending_ == 0 && covered_ < static_cast<std::size_t>(all_->rowCount())) {
        start(covered_, false);  // rows that arrived meanwhile
        return;
    }
    if (pending_ == 0) {
        progress_ = 1.0;
    }
    emit searchChanged();
}

}  // namespace korvantis::ui

#include "ui/filtered_row_source.h"

#include <QMetaObject>

#include <algorithm>
#include <iterator>

#include "query/filter_pass.h"
#include "query/rows_snapshot.h"
#include "ui/store_row_source.h"
#include "ui/worker_priority.h"

namespace korvantis::ui {

struct FilteredRowSource::Outcome {
    std::uint64_t generation;
    std::shared_ptr<const FilterQuery> query;
    FilterPassResult result;
    std::size_t to;
};

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

RowView FilteredRowSource::row(int row) const {
    return all_->row(static_cast<int>(storeRow(row)));
}

QString FilteredRowSource::text(int row, FieldId field) const {
    return all_->text(static_cast<int>(storeRow(row)), field);
}

Mark FilteredRowSource::mark(int row, FieldId field) const {
    return all_->mark(static_cast<int>(storeRow(row)), field);
}

LinePlace FilteredRowSource::rowPlace(int row) const {
    return all_->rowPlace(static_cast<int>(storeRow(row)));
}

int FilteredRowSource::shownRowAt(LinePlace place) const {
    const EventStore& store = workspace_.store;
    const auto row = store.rowOf(kind_, place);
    if (!row || row->value() >= static_cast<std::size_t>(all_->rowCount())) {
        return -1;
    }
    if (!filtered_) {
        return static_cast<int>(row->value());
    }
    const auto at = std::lower_bound(shown_.begin(), shown_.end(), row->value());
    return at != shown_.end() && *at == row->value() ? static_cast<int>(at - shown_.begin()) : -1;
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
    // Every process row for tree terms (the same for every list, so their
    // sets are made once); this list up to the rows announced.
    PerKind<std::size_t> counts{};
    counts[RowKind::process] = store.rows(RowKind::process).size();
    if (kind_ != RowKind::process) {
        counts[kind_] = to;
    }
    auto pass = std::make_shared<FilterPass>(FilterPass{kind_, query_, bound_,
                                                        RowsSnapshot::of(store, counts), from, to,
                                                        replace, stop_, std::move(candidates)});
    ++pending_;
    progress_ = query_->needsRawLine() ? 0.0 : 1.0;
    emit searchChanged();
    const std::uint64_t generation = generation_;
    pool_.start([this, pass, generation, treeSets = treeSets_] {
        lowerWorkerPriority();
        auto result = runFilterPass(*pass, *treeSets, [this, generation](int percent) {
            QMetaObject::invokeMethod(
                this,
                [this, generation, percent] {
                    if (generation == generation_ && pending_ > 0) {
                        progress_ = percent / 100.0;
                        emit searchChanged();
                    }
                },
                Qt::QueuedConnection);
        });
        if (!result) {
            return;  // a newer query took over
        }
        auto outcome = std::make_shared<Outcome>(
            Outcome{generation, pass->query, std::move(*result), pass->to});
        QMetaObject::invokeMethod(
            this, [this, outcome] { finished(*outcome); }, Qt::QueuedConnection);
    });
}

void FilteredRowSource::finished(Outcome& outcome) {
    if (outcome.generation != generation_ || !query_) {
        return;
    }
    --pending_;
    FilterPassResult& result = outcome.result;
    applied_ = outcome.query;
    bound_ = result.bound;
    covered_ = outcome.to;
    if (result.replace || !filtered_) {
        filtered_ = true;
        shown_ = std::move(result.rows);
        unreadable_ = std::move(result.unreadable);
        emit rowsReplaced();
        emit countsChanged();
    } else if (!result.rows.empty() || !result.unreadable.empty()) {
        shown_.insert(shown_.end(), result.rows.begin(), result.rows.end());
        unreadable_.insert(unreadable_.end(), result.unreadable.begin(), result.unreadable.end());
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

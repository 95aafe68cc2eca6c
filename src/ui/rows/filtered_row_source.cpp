#include "ui/rows/filtered_row_source.h"

#include <QMetaObject>

#include <algorithm>
#include <iterator>

#include "query/filter_pass.h"
#include "query/rows_snapshot.h"
#include "ui/look/worker_priority.h"
#include "ui/rows/store_row_source.h"

namespace korvantis::ui {

struct FilteredRowSource::Outcome {
    std::uint64_t generation;
    std::shared_ptr<const FilterQuery> query;
    FilterPassResult result;
    std::size_t from;
    std::size_t to;
    // Rows below `from` matched again (their outcome changed): the result's
    // rows below `from` are those of them that match.
    std::shared_ptr<const RowNumbers> again;
    std::shared_ptr<RowBits> bits;  // of the rows, when kept and they replace the shown ones
};

namespace {

// `rows` without the rows of `again` but with those of them in
// [matched, matchedEnd), all ascending; nothing when that is `rows`.
std::optional<RowNumbers> refreshed(const RowNumbers& rows, const RowNumbers& again,
                                    RowNumbers::const_iterator matched,
                                    RowNumbers::const_iterator matchedEnd) {
    const bool same = std::all_of(again.begin(), again.end(), [&](std::uint32_t row) {
        return std::binary_search(rows.begin(), rows.end(), row) ==
               std::binary_search(matched, matchedEnd, row);
    });
    if (same) {
        return std::nullopt;
    }
    RowNumbers kept;
    kept.reserve(rows.size());
    std::set_difference(rows.begin(), rows.end(), again.begin(), again.end(),
                        std::back_inserter(kept));
    RowNumbers out;
    out.reserve(kept.size() + static_cast<std::size_t>(matchedEnd - matched));
    std::merge(kept.begin(), kept.end(), matched, matchedEnd, std::back_inserter(out));
    return out;
}

}  // namespace

FilteredRowSource::FilteredRowSource(RowKind kind, StoreNotifier& notifier)
    : kind_(kind), workspace_(notifier.workspace()), all_(makeStoreRowSource(kind, notifier)) {
    // One run at a time per list; the two lists' sources run side by side.
    pool_.setMaxThreadCount(1);
    connect(all_.get(), &RowSource::rowsAppended, this, &FilteredRowSource::allRowsAppended);
    connect(all_.get(), &RowSource::marksChanged, this, &RowSource::marksChanged);
    // After the list of all rows has grown (connected after it).
    connect(&notifier, &StoreNotifier::changed, this, &FilteredRowSource::storeChanged);
    connect(&notifier, &StoreNotifier::changed, this, [this](StoreNotifier::Fields fields) {
        if (StoreNotifier::has(fields, StoreField::rowMarks)) {
            rowMarksChanged();
        }
    });
}

void FilteredRowSource::rowMarksChanged() {
    const auto readsMarks = [](const FilterQuery& query) {
        return std::any_of(query.terms().begin(), query.terms().end(), [](const auto& term) {
            return term.key == FilterQuery::Key::field &&
                   (term.field == FieldId::tags || term.field == FieldId::note);
        });
    };
    if (!query_ || !readsMarks(*query_)) {
        return;
    }
    // The rows shown stay until the new run replaces them.
    ++generation_;
    if (stop_) {
        stop_->store(true);
    }
    stop_.reset();
    pool_.clear();
    pending_ = 0;
    start(0, true);
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
            bits_.reset();
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

void FilteredRowSource::storeChanged() {
    if (kind_ != RowKind::process) {
        return;
    }
    const std::size_t ended = workspace_.store.lifetimes().endedCount();
    if (ended == endedSeen_) {
        return;
    }
    endedSeen_ = ended;
    emit textsChanged();
    if (query_ && filtered_ && pending_ == 0) {
        start(covered_, false);
    }
}

bool FilteredRowSource::endedToTake() const {
    return kind_ == RowKind::process && endedTaken_ < workspace_.store.lifetimes().endedCount();
}

RowNumbers FilteredRowSource::takeEnded(std::size_t below) {
    RowNumbers rows;
    if (kind_ != RowKind::process) {
        return rows;
    }
    // Rows from `below` on are matched with the rest of the pass: the
    // outcome they show then is the one they have.
    const ProcessLifetimes& lifetimes = workspace_.store.lifetimes();
    for (const std::size_t ended = lifetimes.endedCount(); endedTaken_ < ended; ++endedTaken_) {
        const std::size_t row = lifetimes.endedRow(endedTaken_);
        if (row < below) {
            rows.push_back(static_cast<std::uint32_t>(row));
        }
    }
    std::sort(rows.begin(), rows.end());  // a run ends once: no row twice
    return rows;
}

void FilteredRowSource::start(std::size_t from, bool replace,
                              std::shared_ptr<const RowNumbers> candidates) {
    stop_ = std::make_shared<std::atomic<bool>>(false);
    const std::size_t to = static_cast<std::size_t>(all_->rowCount());
    // Rows already matched whose outcome changed since are matched again:
    // among the candidates when the pass replaces the rows, else on their
    // own and put in their places when it is done.
    std::shared_ptr<const RowNumbers> again;
    if (RowNumbers ended = takeEnded(from); !ended.empty()) {
        if (replace && candidates) {
            auto merged = std::make_shared<RowNumbers>();
            std::set_union(candidates->begin(), candidates->end(), ended.begin(), ended.end(),
                           std::back_inserter(*merged));
            candidates = std::move(merged);
        } else if (!replace) {
            again = std::make_shared<const RowNumbers>(std::move(ended));
            candidates = again;
        }
    }
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
    pool_.start([this, pass, generation, again, treeSets = treeSets_, bits = keepBits_] {
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
            Outcome{generation, pass->query, std::move(*result), pass->from, pass->to, again, {}});
        if (bits && outcome->result.replace) {
            outcome->bits = std::make_shared<RowBits>(outcome->result.rows);
        }
        QMetaObject::invokeMethod(
            this, [this, outcome] { finished(*outcome); }, Qt::QueuedConnection);
    });
}

RowBits& FilteredRowSource::ownBits() {
    if (!bits_) {
        bits_ = std::make_shared<RowBits>();
    } else if (bits_.use_count() > 1) {
        bits_ = std::make_shared<RowBits>(*bits_);  // a worker still reads the old ones
    }
    return *bits_;
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
        bits_ = std::move(outcome.bits);
        if (keepBits_ && !bits_) {
            bits_ = std::make_shared<RowBits>(shown_);  // a first pass that appended
        }
        unreadable_ = std::move(result.unreadable);
        emit rowsReplaced();
        emit countsChanged();
    } else {
        // The rows matched again first, each list's below the pass's start.
        const auto newRows = std::lower_bound(result.rows.begin(), result.rows.end(),
                                              static_cast<std::uint32_t>(outcome.from));
        const auto newUnreadable =
            std::lower_bound(result.unreadable.begin(), result.unreadable.end(),
                             static_cast<std::uint32_t>(outcome.from));
        bool moved = false;
        if (outcome.again) {
            if (auto rows = refreshed(shown_, *outcome.again, result.rows.cbegin(), newRows)) {
                shown_ = std::move(*rows);
                moved = true;
            }
            if (auto rows = refreshed(unreadable_, *outcome.again, result.unreadable.cbegin(),
                                      newUnreadable)) {
                unreadable_ = std::move(*rows);
                moved = true;
            }
        }
        const bool grew = newRows != result.rows.end() || newUnreadable != result.unreadable.end();
        if (keepBits_ && (moved || newRows != result.rows.end())) {
            RowBits& bits = ownBits();
            if (outcome.again) {
                for (const std::uint32_t row : *outcome.again) {
                    bits.reset(row);
                }
            }
            for (const std::uint32_t row : result.rows) {
                bits.set(row);
            }
        }
        shown_.insert(shown_.end(), newRows, result.rows.end());
        unreadable_.insert(unreadable_.end(), newUnreadable, result.unreadable.end());
        if (moved) {
            emit rowsReplaced();  // rows came or went amid the shown ones
        } else if (grew) {
            emit rowsAppended();
        }
        if (moved || grew) {
            emit countsChanged();
        }
    }
    if (pending_ == 0 && (covered_ < static_cast<std::size_t>(all_->rowCount()) || endedToTake())) {
        start(covered_, false);  // rows that arrived meanwhile
        return;
    }
    if (pending_ == 0) {
        progress_ = 1.0;
    }
    emit searchChanged();
}

}  // namespace korvantis::ui

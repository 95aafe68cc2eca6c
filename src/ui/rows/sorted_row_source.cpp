#include "ui/rows/sorted_row_source.h"

#include <QMetaObject>

#include "query/row_sort.h"
#include "query/rows_snapshot.h"
#include "ui/look/worker_priority.h"
#include "workspace/workspace.h"

namespace korvantis::ui {

SortedRowSource::SortedRowSource(FilteredRowSource& rows) : rows_(rows) {
    pool_.setMaxThreadCount(1);
    connect(&rows_, &RowSource::rowsReplaced, this, &SortedRowSource::filteredReplaced);
    connect(&rows_, &RowSource::rowsAppended, this, &SortedRowSource::filteredAppended);
    connect(&rows_, &RowSource::marksChanged, this, [this] {
        emit marksChanged();
        // Rows sorted by their tags or notes are sorted again when the
        // marks change, whether or not a filter reads them.
        if (key_ == FieldId::tags || key_ == FieldId::note) {
            auto marked = rows_.workspace().store.markedLines();
            if (marked != sortedMarks_) {
                sortedMarks_ = std::move(marked);
                start();
            }
        }
    });
    connect(&rows_, &RowSource::textsChanged, this, [this] {
        emit textsChanged();
        if (key_ == FieldId::outcome) {
            start();  // the order of the outcomes changed
        }
    });
}

SortedRowSource::~SortedRowSource() {
    pool_.clear();
    pool_.waitForDone();
}

int SortedRowSource::filteredRow(int row) const {
    const auto at = static_cast<std::size_t>(row);
    return at < order_.size() ? static_cast<int>(order_[at]) : row;
}

RowView SortedRowSource::row(int row) const {
    return rows_.row(filteredRow(row));
}

QString SortedRowSource::text(int row, FieldId field) const {
    return rows_.text(filteredRow(row), field);
}

Mark SortedRowSource::mark(int row, FieldId field) const {
    return rows_.mark(filteredRow(row), field);
}

LinePlace SortedRowSource::rowPlace(int row) const {
    return rows_.rowPlace(filteredRow(row));
}

int SortedRowSource::shownRowAt(LinePlace place) const {
    return sortedRowOf(rows_.shownRowAt(place));
}

int SortedRowSource::sortedRowOf(int row) const {
    const auto at = static_cast<std::size_t>(row);
    return row >= 0 && at < position_.size() ? static_cast<int>(position_[at]) : row;
}

void SortedRowSource::setSort(std::optional<FieldId> key, bool descending) {
    key_ = key;
    descending_ = descending;
    sortAgain();
    if (!key_) {
        emit orderChanged();
    }
}

void SortedRowSource::filteredReplaced() {
    // The old order names rows of another filter.
    sortAgain();
}

void SortedRowSource::sortAgain() {
    ++generation_;
    order_.clear();
    position_.clear();
    emit rowsReplaced();
    if (key_) {
        start();
    }
}

void SortedRowSource::filteredAppended() {
    emit rowsAppended();
    if (key_) {
        start();
    }
}

void SortedRowSource::start() {
    if (running_) {
        again_ = true;
        return;
    }
    running_ = true;
    again_ = false;
    // What the worker needs, taken here: the filtered rows' numbers in the
    // store's list and a snapshot of that list.
    const std::size_t count = rowsSorted();
    std::vector<std::uint32_t> storeRows(count);
    if (const RowNumbers* shown = rows_.shownRows()) {
        storeRows.assign(shown->begin(), shown->begin() + static_cast<std::ptrdiff_t>(count));
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            storeRows[i] = static_cast<std::uint32_t>(i);
        }
    }
    const EventStore& store = rows_.workspace().store;
    sortedMarks_ = store.markedLines();
    const RowKind kind = rows_.kind();
    auto snapshot =
        std::make_shared<RowsSnapshot>(RowsSnapshot::of(store, kind, store.rows(kind).size()));
    const FieldId field = *key_;
    const bool descending = descending_;
    const std::uint64_t generation = generation_;
    pool_.start(
        [this, snapshot, storeRows = std::move(storeRows), field, descending, kind, generation] {
            lowerWorkerPriority();
            const auto keys = sortKeys(field, storeRows.size(), [&](std::size_t i) {
                return snapshot->row(kind, storeRows[i]);
            });
            auto order = std::make_shared<std::vector<std::uint32_t>>(
                sortedOrder(keys, sortKindOf(field), descending));
            QMetaObject::invokeMethod(
                this, [this, generation, order] { finished(generation, std::move(*order)); },
                Qt::QueuedConnection);
        });
}

void SortedRowSource::finished(std::uint64_t generation, std::vector<std::uint32_t> order) {
    running_ = false;
    if (generation == generation_ && key_) {
        order_ = std::move(order);
        position_.assign(order_.size(), 0);
        for (std::size_t i = 0; i < order_.size(); ++i) {
            position_[order_[i]] = static_cast<std::uint32_t>(i);
        }
        emit rowsReplaced();
        emit orderChanged();
    }
    if (key_ && (again_ || generation != generation_)) {
        start();
    }
}

}  // namespace korvantis::ui

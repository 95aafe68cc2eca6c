#pragma once

#include <QThreadPool>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "query/sort_keys.h"
#include "store/marked_lines.h"
#include "ui/rows/filtered_row_source.h"
#include "ui/rows/row_source.h"

namespace korvantis::ui {

// The rows a filter shows, in the order of one column when one is chosen,
// else in load order. The order is made on a worker thread from a snapshot
// of the store; until it is ready the rows show in load order. Rows that
// arrive later show at the end until the next order, made at once, takes
// them in; a new filter's rows are sorted again the same way.
class SortedRowSource final : public RowSource {
    Q_OBJECT
  public:
    explicit SortedRowSource(FilteredRowSource& rows);
    // Waits for the worker: it reads the store.
    ~SortedRowSource() override;

    int rowCount() const override { return rows_.rowCount(); }
    RowView row(int row) const override;
    QString text(int row, FieldId field) const override;
    Mark mark(int row, FieldId field) const override;
    LinePlace rowPlace(int row) const override;

    // The row of the filtered rows a shown row is.
    int filteredRow(int row) const;
    // The shown row of the store's line at `place`, or -1 when it is not shown.
    int shownRowAt(LinePlace place) const;

    // Sorts by the column's field (a new order replaces the rows when ready),
    // or shows load order again for nothing.
    void setSort(std::optional<FieldId> key, bool descending = false);
    std::optional<FieldId> sortKey() const { return key_; }
    bool descending() const { return descending_; }
    // Whether every shown row is in the chosen order.
    bool sorted() const { return !key_ || (!running_ && order_.size() == rowsSorted()); }

  signals:
    // A new order is shown (after rowsReplaced).
    void orderChanged();

  private:
    // The shown row of a filtered row (itself while unsorted or not yet sorted).
    int sortedRowOf(int row) const;
    // Drops the order shown (the rows show in filtered order meanwhile) and
    // makes a new one when a sort is chosen.
    void sortAgain();
    std::size_t rowsSorted() const { return static_cast<std::size_t>(rows_.rowCount()); }
    void filteredReplaced();
    void filteredAppended();
    void start();
    void finished(std::uint64_t generation, std::vector<std::uint32_t> order);

    FilteredRowSource& rows_;
    std::optional<FieldId> key_;
    bool descending_ = false;
    // Shown row -> filtered row, for the first order_.size() shown rows, and
    // the other way round.
    std::vector<std::uint32_t> order_;
    std::vector<std::uint32_t> position_;
    QThreadPool pool_;
    std::uint64_t generation_ = 0;  // of the newest order asked for
    bool running_ = false;
    bool again_ = false;  // rows changed while an order was being made
    // The marks the newest order was made with (rows sorted by tags or
    // note are sorted again when they change).
    std::shared_ptr<const MarkedLines> sortedMarks_;
};

}  // namespace korvantis::ui

#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "query/filter_query.h"
#include "query/rows_snapshot.h"

namespace korvantis {

// Row numbers into the list of one kind, ascending.
using RowNumbers = std::vector<std::uint32_t>;

// Rows a thread of a filter run takes at least.
inline constexpr std::size_t kFilterPartRows = std::size_t{1} << 17;

// How a long filter run reports and stops: `stop` is polled every few
// thousand rows (a newer query has replaced this one); `progress` is called
// now and then with the rows looked at so far, counted from `from`.
struct FilterControl {
    const std::atomic<bool>* stop = nullptr;
    std::function<void(std::size_t done)> progress;
    // Where rows are added (ascending) that a `json:` term had to look at
    // but whose raw line could not be read again: they are not shown.
    RowNumbers* unreadable = nullptr;
    // Rows of one part at least: a run of more rows is cut into parts that
    // are matched on as many threads as there are cores.
    std::size_t partRows = kFilterPartRows;
};

// The rows in [from, to) of `rows` that `query` shows, in order; nothing when
// stopped. A `json:` term reads the raw lines of the rows that pass every
// other term through `snapshot` (one that cannot be read again is listed
// in `control.unreadable`, not shown). `query` must already have its tree
// terms bound.
std::optional<RowNumbers> matchingRows(const KindRowsSnapshot& rows, const RowsSnapshot& snapshot,
                                       const FilterQuery& query, std::size_t from, std::size_t to,
                                       const FilterControl& control = {});

// The same, among the rows `candidates` only (ascending, all below the
// list's size): used when a query can only show fewer rows than the one
// whose rows those are.
std::optional<RowNumbers> matchingRowsAmong(const KindRowsSnapshot& rows,
                                            const RowsSnapshot& snapshot, const FilterQuery& query,
                                            const RowNumbers& candidates,
                                            const FilterControl& control = {});

// Whether every row `newer` shows is also shown by `older`, as far as can be
// told from the terms alone: each term of `older` has a term in `newer` of
// the same key and sign that is at least as strict (a text that contains the
// older text, or for a negated term one contained in it; the same number).
// Never true when either has a `tree:` term, whose set changes with the rows.
// Typing on at the end of a query narrows it, so its run need only look at
// the rows already shown.
bool narrows(const FilterQuery& newer, const FilterQuery& older);

}  // namespace korvantis

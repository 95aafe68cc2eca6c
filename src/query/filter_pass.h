#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "query/filter_query.h"
#include "query/row_filter.h"
#include "query/rows_snapshot.h"
#include "query/tree_set_cache.h"
#include "store/row_kind.h"

namespace korvantis {

// One pass of a filter over one list's rows [from, to), against a snapshot
// taken when it was asked for: what a filtered list runs on its worker,
// whether a new query replaces the shown rows or rows that arrived during a
// load are matched on their own.
struct FilterPass {
    RowKind list = RowKind::process;
    std::shared_ptr<const FilterQuery> query;
    // The query as the previous pass bound its tree terms; null when none ran.
    std::shared_ptr<const FilterQuery> bound;
    RowsSnapshot snapshot;
    std::size_t from = 0;
    std::size_t to = 0;
    bool replace = true;  // the result replaces the shown rows (else it is appended)
    std::shared_ptr<std::atomic<bool>> stop;
    // When set, only these rows (all below `from`) and those from `from` on
    // are looked at: the query narrows the one whose rows these are, or
    // these rows changed since they were matched.
    std::shared_ptr<const RowNumbers> candidates;
    // Rows one thread takes at least (see FilterControl).
    std::size_t partRows = kFilterPartRows;
};

struct FilterPassResult {
    std::shared_ptr<const FilterQuery> bound;  // the query with its tree terms bound
    RowNumbers rows;                           // shown, ascending
    RowNumbers unreadable;                     // neither shown nor hidden, ascending
    bool replace = true;                       // may differ from the pass's: see runFilterPass
};

// Runs `pass`; nothing when it was stopped. A pass that appends turns into a
// pass over the whole list when a tree term's set grew (a process started
// under the tree after some of its rows were matched). `progress` is told
// the share done in whole percents, each once.
std::optional<FilterPassResult> runFilterPass(const FilterPass& pass, TreeSetCache& treeSets,
                                              const std::function<void(int percent)>& progress);

}  // namespace korvantis

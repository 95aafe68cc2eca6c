#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "query/filter_query.h"
#include "store/event_store.h"
#include "store/line_ref_table.h"
#include "store/log_files.h"
#include "store/preview_rows.h"
#include "store/store_index.h"

namespace korvantis {

// The rows of one kind as they were at one moment.
using KindRowsSnapshot = PreviewRows::Snapshot;

// The rows of a store as they are at one moment, for a filter or an export
// that runs on a worker thread while the store's thread goes on loading.
// Taken on the store's thread in time proportional to the number of chunks,
// not rows; the store must outlive it.
struct RowsSnapshot {
    PerKind<KindRowsSnapshot> rows;
    LineRefTable::RefsSnapshot refs;
    std::shared_ptr<const LogFiles> logs;
    ProcessLifetimes::Outcomes outcomes;       // of the process rows
    std::shared_ptr<const MarkedLines> marks;  // the rows' tags and notes; null: none

    // The first `counts[kind]` rows of each kind.
    static RowsSnapshot of(const EventStore& store, const PerKind<std::size_t>& counts);
    // The first `count` rows of `kind`, none of the others.
    static RowsSnapshot of(const EventStore& store, RowKind kind, std::size_t count);
    // Every row the store holds now.
    static RowsSnapshot of(const EventStore& store);

    // A row's raw line, read again from its log; nothing and why when it
    // cannot be. Any thread.
    LineRead lineText(LinePlace entry) const;
    // Row `i` of `kind`, a process row with its outcome.
    RowView row(RowKind kind, std::size_t i) const {
        RowView row = rows[kind].rowView(i);
        if (kind == RowKind::process && i < outcomes.size()) {
            row.outcome = outcomes[i];
        }
        if (marks) {
            marks->apply(rows[kind].placeOf(i), row);
        }
        return row;
    }
    // The same with only `parts` and the `extras` filled in (the others
    // left empty), for rows read in ascending order: their hits come from
    // `hits`.
    RowView row(RowKind kind, std::size_t i, const FilterQuery::Extras& extras, RowParts parts,
                KindRowsSnapshot::HitCursor& hits) const {
        RowView row = rows[kind].rowViewWithoutHits(i, parts);
        if (extras.ruleHits) {
            row.ruleHits = hits.at(i);
        }
        if (extras.outcome && kind == RowKind::process && i < outcomes.size()) {
            row.outcome = outcomes[i];
        }
        if (extras.marks && marks) {
            marks->apply(rows[kind].placeOf(i), row);
        }
        return row;
    }
};

// The ids of every process row, the input of a `tree:` term.
std::vector<ProcessLink> processLinks(const KindRowsSnapshot& procs);

}  // namespace korvantis

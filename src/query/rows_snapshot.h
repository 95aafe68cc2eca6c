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

using ProcRowsSnapshot = PreviewRows<ProcPreviewEntry>::Snapshot;
using FileRowsSnapshot = PreviewRows<FilePreviewEntry>::Snapshot;
using OtherRowsSnapshot = PreviewRows<OtherPreviewEntry>::Snapshot;

// The rows of a store as they are at one moment, for a filter or an export
// that runs on a worker thread while the store's thread goes on loading.
// Taken on the store's thread in time proportional to the number of chunks,
// not rows; the store must outlive it.
struct RowsSnapshot {
    ProcRowsSnapshot procs;
    FileRowsSnapshot files;
    OtherRowsSnapshot others;
    LineRefTable::RefsSnapshot refs;
    std::shared_ptr<const LogFiles> logs;
    ProcessLifetimes::Outcomes outcomes;  // of the process rows

    // The first `procCount` process rows, `fileCount` file rows and
    // `otherCount` other rows.
    static RowsSnapshot of(const EventStore& store, std::size_t procCount, std::size_t fileCount,
                           std::size_t otherCount);
    // Every row the store holds now.
    static RowsSnapshot of(const EventStore& store);

    // A row's raw line, read again from its log; nothing and why when it
    // cannot be. Any thread.
    LineRead lineText(LinePlace entry) const;
    // Process row `i` with its outcome.
    RowView procRow(std::size_t i) const {
        RowView row = procs.rowView(i);
        if (i < outcomes.size()) {
            row.outcome = outcomes[i];
        }
        return row;
    }
};

// The ids of every process row, the input of a `tree:` term.
std::vector<ProcessLink> processLinks(const ProcRowsSnapshot& procs);

}  // namespace korvantis

#pragma once

#include <atomic>
#include <string>

#include "output/row_export.h"
#include "query/row_filter.h"
#include "query/rows_snapshot.h"

namespace korvantis {

// Which rows of a snapshot to write: one list, and either all its rows or
// the given row numbers, in that order.
struct ExportedRows {
    RowKind list = RowKind::process;
    const RowNumbers* shown = nullptr;         // null: every row of the list
    FieldList csvFields = defaultCsvFields();  // what a CSV record holds
};

// Writes the rows to `target` through exportRowsToFile (a temporary file
// beside it, renamed when complete). A raw line that can no longer be read
// (the log changed after loading) or `stop` set fails the write and leaves
// no file. Runs on any thread.
ExportResult exportSnapshotRows(const std::string& target, ExportFormat format,
                                const RowsSnapshot& snapshot, const ExportedRows& rows,
                                const std::atomic<bool>* stop = nullptr);

}  // namespace korvantis

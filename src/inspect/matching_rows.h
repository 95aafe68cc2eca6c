#pragma once

#include "inspect/store_rows.h"
#include "load/task_queue.h"
#include "query/filter_query.h"
#include "query/row_export.h"
#include "workspace/workspace.h"

namespace korvantis {

// How writing a run of rows went.
struct RowsWritten {
    bool written = true;  // standard output took them all
    bool allRead = true;  // every row's line could be read again
    bool ok() const { return written && allRead; }
};

// Writes the rows `query` shows, from where `cursor` stands to the store's
// last row, to standard output; a failed write and the first row whose line
// could not be read again are named on standard error. The CSV header comes
// first when `header`.
RowsWritten writeMatchingRows(const EventStore& store, FilterQuery& query, ExportFormat format,
                              const CsvFields& fields, StoreRowCursor& cursor, bool header = true);

// Keeps SIGINT and SIGTERM from ending the program, so that followRows() can
// end it after a whole batch; to be called before any thread is started.
void holdStopSignals();

// Writes the rows `query` shows of the loaded logs, then of every line
// appended to them, flushing each batch, until SIGINT or SIGTERM (see
// holdStopSignals()). Returns the exit status: 1 when a write failed or a
// row could not be read again.
int followRows(Workspace& workspace, TaskQueue& tasks, FilterQuery& query, ExportFormat format,
               const CsvFields& fields);

}  // namespace korvantis

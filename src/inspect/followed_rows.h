#pragma once

#include "inspect/shown_rows_output.h"
#include "inspect/store_rows.h"
#include "load/task_queue.h"
#include "output/row_export.h"
#include "query/filter_query.h"
#include "workspace/workspace.h"

namespace korvantis {

// Keeps SIGINT and SIGTERM from ending the program, so that followRows() can
// end it after a whole batch; to be called before any thread is started.
void holdStopSignals();

// Writes the rows `query` shows of the `logs` logs asked for, then of every
// line appended to them, flushing each batch, until SIGINT or SIGTERM (see
// holdStopSignals()) or until none is followed any more. Returns the exit
// status: 1 when a write failed or a row could not be read again.
int followRows(Workspace& workspace, TaskQueue& tasks, std::size_t logs, FilterQuery& query,
               ExportFormat format, const FieldList& fields);

}  // namespace korvantis

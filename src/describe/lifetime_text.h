#pragma once

#include <cstddef>
#include <string>

#include "store/process_lifetimes.h"
#include "store/row_view.h"
#include "store/store_index.h"

namespace korvantis {

class EventStore;

// What a process row says of its run, from the row and the row that ends it
// (ignored unless `how` is exited or became): "ran 1.24 s, exit 0" (the
// exit's summary; "ran 1.24 s" without one), "became /bin/ls after 3 ms" (the
// exec's path), "ended unseen before 2026-08-12T15:28:33.5Z (its pid was
// reused)" (the timestamp of the fork that took the pid) or "still running
// at the end of the log"; "ended, exit 0" and
// "became /bin/ls" when a time value is missing. Empty when untracked.
std::string lifetimeText(const RowView& start, LifetimeEnd::How how, const RowView& end);

// How an exit row names the process row whose run it ends:
// "ES_EVENT_TYPE_NOTIFY_EXEC of /bin/ls at 2026-08-12T15:28:33.510893468Z".
std::string endedRowText(const RowView& start);

// The same for the rows of `store`: process row `procRow`, and other row
// `otherRow` (empty when it ends no run).
std::string processLifetimeText(const EventStore& store, RowIndex procRow);
std::string exitEndsText(const EventStore& store, RowIndex otherRow);

}  // namespace korvantis

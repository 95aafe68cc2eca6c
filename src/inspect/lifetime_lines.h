#pragma once

#include <string>
#include <vector>

#include "load/log_loader.h"
#include "store/event_store.h"

namespace korvantis {

// One line per process row that says something of its run, in load order:
// `LOG:LINE<TAB>TEXT` (see lifetime_text.h), each log named as `outcomes`
// gives it (the k-th log that could be opened is the store's log k).
std::string lifetimeLines(const EventStore& store, const std::vector<LoadOutcome>& outcomes);

}  // namespace korvantis

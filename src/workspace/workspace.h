#pragma once

#include <utility>

#include "describe/event_selection.h"
#include "load/log_loader.h"
#include "store/display_switches.h"
#include "store/event_store.h"
#include "store/store_observers.h"

namespace korvantis {

// Everything one main window has loaded and shows, in the order the parts
// need each other: the observers first, the loader (whose worker writes into
// the store) last, so it stops before the store goes.
struct Workspace {
    explicit Workspace(LogLoader::Post post)
        : store(observers),
          selection(store, observers),
          switches(observers),
          loader(store, observers, std::move(post)) {}

    StoreObservers observers;
    EventStore store;
    EventSelection selection;
    DisplaySwitches switches;
    LogLoader loader;
};

}  // namespace korvantis

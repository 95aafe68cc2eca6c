#pragma once

#include <QString>

#include <memory>

#include "store/row_kind.h"
#include "ui/rows/row_source.h"
#include "ui/rows/store_notifier.h"

namespace korvantis {
class EventStore;
}

namespace korvantis::ui {

// All rows of one kind of a store, in load order, marked relative to the
// selection's active row of that kind. The row count grows only when the
// store has announced its changes, so a list never sees a load half done.
std::unique_ptr<RowSource> makeStoreRowSource(RowKind kind, StoreNotifier& notifier);

// A row's time as every list shows it: in the time display chosen
// (TimeDisplayChoice), "since first" counted from the store's earliest time.
QString timeText(const RowView& row, const EventStore& store);

}  // namespace korvantis::ui

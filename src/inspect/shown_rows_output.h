#pragma once

#include <optional>

#include "query/filter_query.h"
#include "query/row_export.h"
#include "query/sort_keys.h"
#include "store/event_store.h"

namespace korvantis {

// Writes the rows `query` shows to standard output, in load order or in the
// order `sort` gives. False when the write fails or a row's line could not be
// read again (to be tested or written): the first such row is named on
// standard error with the reason, and the others are still written.
bool writeShownRows(const EventStore& store, FilterQuery& query, ExportFormat format,
                    const CsvFields& fields, const std::optional<RowSort>& sort);

}  // namespace korvantis

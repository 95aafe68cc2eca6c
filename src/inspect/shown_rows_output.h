#pragma once

#include <optional>

#include "inspect/store_rows.h"
#include "output/row_export.h"
#include "query/filter_query.h"
#include "query/sort_keys.h"
#include "store/event_store.h"

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
// first when `header`. `query` must have its tree terms bound.
RowsWritten writeMatchingRows(const EventStore& store, const FilterQuery& query,
                              ExportFormat format, const FieldList& fields, StoreRowCursor& cursor,
                              bool header = true);

// Writes the rows `query` shows to standard output, in load order or in the
// order `sort` gives. False when the write fails or a row's line could not be
// read again (to be tested or written): the first such row is named on
// standard error with the reason, and the others are still written. With
// `marks`, rows carry their marks' tags and notes.
bool writeShownRows(const EventStore& store, FilterQuery& query, ExportFormat format,
                    const FieldList& fields, const std::optional<RowSort>& sort,
                    const RowMarks* marks = nullptr);

}  // namespace korvantis

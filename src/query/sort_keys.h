#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "query/row_export.h"
#include "store/row_view.h"

namespace korvantis {

// How the values of a field compare when rows are sorted by it.
enum class SortKind {
    number,  // as signed 64-bit numbers
    time,    // by time value
    text,    // by the UTF-8 bytes of the text
};

// One row's value of a field, as sorting sees it. Rows with an empty value
// (a file row's ppid, an empty text or fact, no time value) come last.
struct SortKey {
    bool empty = false;
    std::int64_t number = 0;  // number and time fields
    std::string_view text;    // text fields; must outlive the sort
};

// pid, ppid, uid, pidversion and responsible_pid sort as numbers, timestamp
// and utc by time value, every other field by its text.
SortKind sortKindOf(const CsvField& field);
SortKey sortKeyOf(const CsvField& field, const RowView& row);

// A sort as written on a command line: FIELD (any name --fields takes), or
// -FIELD for descending.
struct RowSort {
    CsvField field;
    bool descending = false;
};
std::optional<RowSort> parseRowSort(std::string_view text);

}  // namespace korvantis

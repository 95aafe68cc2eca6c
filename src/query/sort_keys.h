#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "store/row_fields.h"
#include "store/row_view.h"

namespace korvantis {

// One row's value of a field, as sorting sees it. Rows with an empty value
// (a file row's ppid, an empty text or fact, no time value) come last.
struct SortKey {
    bool empty = false;
    std::int64_t number = 0;  // number, time and rank fields
    std::string_view text;    // text fields; must outlive the sort
};

// How the field sorts (see the table of fields).
inline SortKind sortKindOf(FieldId field) {
    return rowField(field).sort;
}
SortKey sortKeyOf(FieldId field, const RowView& row);

// A sort as written on a command line: FIELD (any name --fields takes), or
// -FIELD for descending.
struct RowSort {
    FieldId field = FieldId::kind;
    bool descending = false;
};
std::optional<RowSort> parseRowSort(std::string_view text);

}  // namespace korvantis

#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "store/filter_row.h"

namespace korvantis {

// How the values of a field compare when rows are sorted by it.
enum class SortKind {
    number,  // as signed 64-bit numbers
    time,    // by time value
    text,    // by the UTF-8 bytes of the text
};

// One row's value of a field, as sorting sees it. Rows with an empty value
// (a file row's ppid, an empty text, no time value) come last.
struct SortKey {
    bool empty = false;
    std::int64_t number = 0;  // number and time fields
    std::string_view text;    // text fields; must outlive the sort
};

// A field of a row, by the name an export and a sort know it by.
struct RowField {
    std::string_view name;
    SortKind kind;
    SortKey (*key)(const FilterRow& row);
    // Appends the field's text as an export writes it (before any quoting).
    void (*append)(std::string& out, const FilterRow& row);
};

// Every field: kind, type, timestamp, pid, ppid, path, utc.
std::span<const RowField> rowFields();
// Nothing for a name no field has.
const RowField* rowFieldNamed(std::string_view name);

// A sort as written on a command line: FIELD, or -FIELD for descending.
struct RowSort {
    const RowField* field = nullptr;
    bool descending = false;
};
std::optional<RowSort> parseRowSort(std::string_view text);

}  // namespace korvantis

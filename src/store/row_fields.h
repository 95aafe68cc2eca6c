#pragma once

// The fields of a row, in one table: what each is called, how it is written,
// compared, filtered and offered as a column. The command line's --fields and
// --sort, the filter's keys, the viewer's columns, their cells and sorting and
// its CSV export all read this table, so a field is added here (an id and an
// entry in row_fields.cpp) together with the code that computes its value.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "decode/row_facts.h"
#include "store/row_kind.h"
#include "store/row_view.h"

namespace korvantis {

// In the table's order; the facts stand together, in Fact's order.
enum class FieldId : std::uint8_t {
    kind,
    timestamp,
    type,
    pid,
    ppid,
    path,
    utc,
    firstFact,  // args, then every Fact in order up to summary
    lastFact = firstFact + kFactCount - 1,
    outcome,
    rules,
    rule_ids,
    level,
    tags,
    note,
};
inline constexpr std::size_t kFieldCount = static_cast<std::size_t>(FieldId::note) + 1;

constexpr FieldId fieldOf(Fact fact) {
    return static_cast<FieldId>(static_cast<std::size_t>(FieldId::firstFact) +
                                static_cast<std::size_t>(fact));
}
// The fact a field is, if it is one.
std::optional<Fact> factOf(FieldId field);

// A field's value in one row: its text, its number (a time value for times),
// or both. A field without a number there (a file row's ppid, an integer
// fact the message does not give) has hasNumber false.
struct FieldValue {
    std::string_view text;
    std::int64_t number = 0;
    bool hasNumber = false;
};

// How a field is written in a cell or a CSV record.
enum class FieldForm : std::uint8_t {
    text,    // its text
    number,  // its number in decimal, empty without one
    utc,     // its time value as "YYYY-MM-DDTHH:MM:SS.nnnnnnnnnZ", empty without one
};

// How the values of a field compare when rows are sorted by it. Rows with an
// empty value (no number, or an empty text) come last.
enum class SortKind : std::uint8_t {
    number,  // as signed 64-bit numbers
    time,    // by time value
    text,    // by the UTF-8 bytes of the text
    rank,    // by the number a field gives as its rank (its text names it)
};

// How a `key:value` term of the filter matches a field.
enum class FilterAs : std::uint8_t {
    none,     // not a key
    integer,  // the value is a decimal 64-bit integer, equal to the field's number
    text,     // the field's text contains the value, ASCII case ignored
    atLeast,  // the value names a rank (rankNamed); the field's number is at least that
    item,     // the value is one of the field's comma-separated items, whole, in any case
    own,      // the field's `holds` decides; a value that holds another holds fewer rows
};

// A set of row kinds.
using KindSet = std::uint8_t;
constexpr KindSet kindSet(RowKind kind) {
    return static_cast<KindSet>(1u << indexOf(kind));
}
inline constexpr KindSet kEveryKind = 0b111;
constexpr bool contains(KindSet set, RowKind kind) {
    return (set & kindSet(kind)) != 0;
}

struct RowField {
    FieldId id;
    std::string_view name;   // in --fields, --sort, CSV headers and the settings
    std::string_view title;  // the column's title
    FieldForm form = FieldForm::text;
    SortKind sort = SortKind::text;
    FilterAs filter = FilterAs::none;
    std::string_view filterName = {};  // the filter key, when it differs from `name`
    bool plain = false;                // a plain term of the filter looks at it
    KindSet columns = 0;               // the kinds whose lists offer it as a column
    KindSet shown = 0;                 // the kinds whose lists show it until told otherwise
    FieldValue (*read)(const RowView&) = nullptr;
    // FilterAs::own: whether the row holds a term's value (in ASCII lower case).
    bool (*holds)(const RowView&, std::string_view folded) = nullptr;
    // FilterAs::atLeast: the rank a value (in ASCII lower case) names, and
    // what a value naming none is told it wants.
    std::optional<std::int64_t> (*rankNamed)(std::string_view folded) = nullptr;
    std::string_view wants = {};
};

const RowField& rowField(FieldId field);
// Every field, in the table's order (FieldId's).
std::span<const RowField> rowFields();
// The field named `name` exactly.
std::optional<FieldId> fieldNamed(std::string_view name);
// The key a filter term names the field with ("" when it is not a key).
std::string_view filterKeyOf(const RowField& field);

inline FieldValue fieldValue(FieldId field, const RowView& row) {
    return rowField(field).read(row);
}
// The parts of a row (see RowPart) that a field's value is read from.
RowParts rowPartsOf(FieldId field);

// The field's text as a cell or a CSV record writes it (unquoted): a view
// into the row, or into `scratch` for a number or time written out.
std::string_view fieldText(FieldId field, const RowView& row, std::string& scratch);

using FieldList = std::vector<FieldId>;
// The fields a comma-separated list names (each name exactly as the table
// has it; repeats allowed), or nothing when a name is unknown or empty.
std::optional<FieldList> parseFieldList(std::string_view list);
// The parts of a row that the fields are read from.
RowParts rowPartsOf(const FieldList& fields);

}  // namespace korvantis

// What sorting compares of a row's field: a number, a time value or a text.

#include "query/sort_keys.h"

#include "store/row_fields.h"

namespace korvantis {

SortKey sortKeyOf(FieldId field, const RowView& row) {
    const FieldValue value = fieldValue(field, row);
    if (sortKindOf(field) == SortKind::text) {
        return {value.text.empty(), 0, value.text};
    }
    return {!value.hasNumber, value.number, {}};
}

std::optional<RowSort> parseRowSort(std::string_view text) {
    RowSort sort;
    if (!text.empty() && text.front() == '-') {
        sort.descending = true;
        text.remove_prefix(1);
    }
    if (text.find(',') != std::string_view::npos) {
        return std::nullopt;
    }
    const auto fields = parseFieldList(text);
    if (!fields) {
        return std::nullopt;
    }
    sort.field = fields->front();
    return sort;
}

}  // namespace korvantis

// The fields of a row by name: their export text and their sort keys.

#include "query/row_fields.h"

#include <charconv>

#include "ingest/time_value.h"

namespace korvantis {

namespace {

void appendNumber(std::string& out, std::int64_t value) {
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    (void)ec;  // 24 bytes always hold a 64-bit number
    out.append(digits, end);
}

std::string_view kindText(const FilterRow& row) {
    return row.isProcess ? "process" : "file";
}

SortKey textKey(std::string_view text) {
    return {text.empty(), 0, text};
}

SortKey timeKey(const FilterRow& row) {
    return {row.time == kNoTimeValue, row.time, {}};
}

constexpr RowField kFields[] = {
    {"kind", SortKind::text, [](const FilterRow& r) { return textKey(kindText(r)); },
     [](std::string& out, const FilterRow& r) { out += kindText(r); }},
    {"type", SortKind::text, [](const FilterRow& r) { return textKey(r.type); },
     [](std::string& out, const FilterRow& r) { out += r.type; }},
    {"timestamp", SortKind::time, timeKey,
     [](std::string& out, const FilterRow& r) { out += r.timestamp; }},
    {"pid", SortKind::number,
     [](const FilterRow& r) {
         return SortKey{false, r.pid, {}};
     },
     [](std::string& out, const FilterRow& r) { appendNumber(out, r.pid); }},
    // File rows have no ppid.
    {"ppid", SortKind::number,
     [](const FilterRow& r) {
         return SortKey{!r.isProcess, r.ppid, {}};
     },
     [](std::string& out, const FilterRow& r) {
         if (r.isProcess) {
             appendNumber(out, r.ppid);
         }
     }},
    {"path", SortKind::text, [](const FilterRow& r) { return textKey(r.path); },
     [](std::string& out, const FilterRow& r) { out += r.path; }},
    {"utc", SortKind::time, timeKey,
     [](std::string& out, const FilterRow& r) {
         if (r.time != kNoTimeValue) {
             out += formatUtc(r.time);
         }
     }},
};

}  // namespace

std::span<const RowField> rowFields() {
    return kFields;
}

const RowField* rowFieldNamed(std::string_view name) {
    for (const RowField& field : kFields) {
        if (field.name == name) {
            return &field;
        }
    }
    return nullptr;
}

std::optional<RowSort> parseRowSort(std::string_view text) {
    RowSort sort;
    if (!text.empty() && text.front() == '-') {
        sort.descending = true;
        text.remove_prefix(1);
    }
    sort.field = rowFieldNamed(text);
    if (sort.field == nullptr) {
        return std::nullopt;
    }
    return sort;
}

}  // namespace korvantis

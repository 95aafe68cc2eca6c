// What sorting compares of a row's field: a number, a time value or a text.

#include "query/sort_keys.h"

#include <charconv>

#include "ingest/time_value.h"
#include "rules/rule_hit_sets.h"

namespace korvantis {

namespace {

SortKey textKey(std::string_view text) {
    return {text.empty(), 0, text};
}

// An integer fact is stored as the decimal text of its value.
SortKey integerFactKey(std::string_view text) {
    SortKey key{true, 0, {}};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), key.number);
    key.empty = text.empty() || ec != std::errc() || end != text.data() + text.size();
    return key;
}

}  // namespace

SortKind sortKindOf(const CsvField& field) {
    using Of = CsvField::Of;
    switch (field.of) {
        case Of::pid:
        case Of::ppid:
        case Of::level:  // by rank, informational lowest
            return SortKind::number;
        case Of::timestamp:
        case Of::utc:
            return SortKind::time;
        case Of::fact:
            return isIntegerFact(field.fact) ? SortKind::number : SortKind::text;
        case Of::kind:
        case Of::type:
        case Of::path:
        case Of::outcome:
        case Of::rules:
        case Of::rule_ids:
        case Of::tags:
        case Of::note:
            break;
    }
    return SortKind::text;
}

SortKey sortKeyOf(const CsvField& field, const RowView& row) {
    using Of = CsvField::Of;
    switch (field.of) {
        case Of::kind:
            return textKey(row.isProcess ? "process" : row.isOther ? "other" : "file");
        case Of::type:
            return textKey(row.type);
        case Of::timestamp:
        case Of::utc:
            return {row.time == kNoTimeValue, row.time, {}};
        case Of::pid:
            return {false, row.pid, {}};
        case Of::ppid:  // file rows have none
            return {!row.isProcess && !row.isOther, row.ppid, {}};
        case Of::path:
            return textKey(row.path);
        case Of::outcome:
            return textKey(row.outcome);
        case Of::rules:
            return textKey(ruleTitlesOf(row.ruleHits));
        case Of::rule_ids:
            return textKey(ruleIdsOf(row.ruleHits));
        case Of::level: {
            const RuleLevel level = ruleLevelOf(row.ruleHits);
            return {level == RuleLevel::none, static_cast<std::int64_t>(level), {}};
        }
        case Of::tags:
            return textKey(row.tags);
        case Of::note:
            return textKey(row.note);
        case Of::fact:
            break;
    }
    const std::string_view fact = row.facts[field.fact];
    return isIntegerFact(field.fact) ? integerFactKey(fact) : textKey(fact);
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
    const auto fields = parseCsvFields(text);
    if (!fields) {
        return std::nullopt;
    }
    sort.field = fields->front();
    return sort;
}

}  // namespace korvantis

#include "store/row_fields.h"

#include <array>
#include <charconv>

#include "decode/decimal_text.h"
#include "decode/time_value.h"
#include "rules/rule_hit_sets.h"

namespace korvantis {

namespace {

constexpr KindSet kProcess = kindSet(RowKind::process);
constexpr KindSet kOther = kindSet(RowKind::other);

FieldValue textValue(std::string_view text) {
    return {text, 0, false};
}

FieldValue numberValue(std::int64_t number) {
    return {{}, number, true};
}

FieldValue timeValue(const RowView& row) {
    return {row.timestamp, row.time, row.time != kNoTimeValue};
}

FieldValue levelValue(const RowView& row) {
    const RuleLevel level = ruleLevelOf(row.ruleHits);
    return {ruleLevelName(level), static_cast<std::int64_t>(level), level != RuleLevel::none};
}

std::optional<std::int64_t> levelNamed(std::string_view folded) {
    const RuleLevel level = ruleLevelNamed(folded);
    return level == RuleLevel::none ? std::nullopt
                                    : std::optional(static_cast<std::int64_t>(level));
}

// An integer fact is kept as the decimal text of its value.
template <Fact F>
FieldValue factValue(const RowView& row) {
    FieldValue value = textValue(row.facts[F]);
    if constexpr (isIntegerFact(F)) {
        const char* end = value.text.data() + value.text.size();
        const auto [stop, ec] = std::from_chars(value.text.data(), end, value.number);
        value.hasNumber = !value.text.empty() && ec == std::errc() && stop == end;
    }
    return value;
}

template <Fact F>
constexpr RowField factField(KindSet columns = kEveryKind, KindSet shown = 0, bool plain = false) {
    constexpr auto i = static_cast<std::size_t>(F);
    RowField field{};
    field.id = fieldOf(F);
    field.name = kFactNames[i];
    field.title = kFactLabels[i];
    field.sort = isIntegerFact(F) ? SortKind::number : SortKind::text;
    field.filter = isIntegerFact(F) ? FilterAs::integer : FilterAs::text;
    field.plain = plain;
    field.columns = columns;
    field.shown = shown;
    field.read = &factValue<F>;
    return field;
}

constexpr std::array<RowField, kFieldCount> kFields = {{
    {.id = FieldId::kind,
     .name = "kind",
     .title = "Kind",
     .read = [](const RowView& r) { return textValue(kRowKindNames[indexOf(r.kind)]); }},
    {.id = FieldId::timestamp,
     .name = "timestamp",
     .title = "Time",
     .sort = SortKind::time,
     .filter = FilterAs::text,
     .filterName = "time",
     .plain = true,
     .columns = kEveryKind,
     .shown = kEveryKind,
     .read = &timeValue},
    {.id = FieldId::type,
     .name = "type",
     .title = "Type",
     .filter = FilterAs::text,
     .plain = true,
     .columns = kEveryKind,
     .shown = kEveryKind,
     .read = [](const RowView& r) { return textValue(r.type); }},
    {.id = FieldId::pid,
     .name = "pid",
     .title = "PID",
     .form = FieldForm::number,
     .sort = SortKind::number,
     .filter = FilterAs::integer,
     .plain = true,
     .columns = kEveryKind,
     .shown = kEveryKind,
     .read = [](const RowView& r) { return numberValue(r.pid); }},
    {.id = FieldId::ppid,
     .name = "ppid",
     .title = "PPID",
     .form = FieldForm::number,
     .sort = SortKind::number,
     .filter = FilterAs::integer,
     .plain = true,
     .columns = kProcess | kOther,
     .shown = kProcess | kOther,
     .read = [](const RowView& r) { return r.hasPpid() ? numberValue(r.ppid) : FieldValue{}; }},
    {.id = FieldId::path,
     .name = "path",
     .title = "Path",
     .filter = FilterAs::text,
     .plain = true,
     .columns = kEveryKind,
     .shown = kEveryKind,
     .read = [](const RowView& r) { return textValue(r.path); }},
    {.id = FieldId::utc,
     .name = "utc",
     .title = "UTC",
     .form = FieldForm::utc,
     .sort = SortKind::time,
     .read = &timeValue},
    factField<Fact::args>(kEveryKind, 0, true),
    factField<Fact::cwd>(),
    factField<Fact::uid>(),
    factField<Fact::pidversion>(),
    factField<Fact::responsible_pid>(),
    factField<Fact::signing_id>(),
    factField<Fact::team_id>(),
    factField<Fact::tty>(),
    factField<Fact::platform>(),
    factField<Fact::signing>(),
    factField<Fact::process_path>(),
    // The other rows' last column; it says what a message is about.
    factField<Fact::summary>(kOther, kOther, true),
    // How a process row's run ended (see process_outcome.h).
    {.id = FieldId::outcome,
     .name = "outcome",
     .title = "Outcome",
     .filter = FilterAs::text,
     .columns = kProcess,
     .read = [](const RowView& r) { return textValue(r.outcome); }},
    // Of the detection rules the row matches: `rule:` finds a title or an id.
    {.id = FieldId::rules,
     .name = "rules",
     .title = "Rules",
     .filter = FilterAs::own,
     .filterName = "rule",
     .read = [](const RowView& r) { return textValue(ruleTitlesOf(r.ruleHits)); },
     .holds =
         [](const RowView& r, std::string_view folded) {
             return r.ruleHits != nullptr && r.ruleHits->mentions(folded);
         }},
    {.id = FieldId::rule_ids,
     .name = "rule_ids",
     .title = "Rule IDs",
     .read = [](const RowView& r) { return textValue(ruleIdsOf(r.ruleHits)); }},
    {.id = FieldId::level,
     .name = "level",
     .title = "Level",
     .sort = SortKind::rank,
     .filter = FilterAs::atLeast,
     .read = &levelValue,
     .rankNamed = &levelNamed,
     .wants = "wants informational, low, medium, high or critical"},
    // Of the row's mark: its tags (sorted, joined by commas) and its note.
    {.id = FieldId::tags,
     .name = "tags",
     .title = "Tags",
     .filter = FilterAs::item,
     .filterName = "tag",
     .read = [](const RowView& r) { return textValue(r.tags); }},
    {.id = FieldId::note,
     .name = "note",
     .title = "Note",
     .filter = FilterAs::text,
     .read = [](const RowView& r) { return textValue(r.note); }},
}};

// Only the order is checked here: comparing the readers' pointers is not a
// constant expression once the undefined-behaviour sanitizer instruments
// them, so the test of the table checks that every field has its reader.
constexpr bool inIdOrder() {
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        if (static_cast<std::size_t>(kFields[i].id) != i) {
            return false;
        }
    }
    return true;
}
static_assert(inIdOrder(), "the table lists every field once, in FieldId's order");

}  // namespace

std::optional<Fact> factOf(FieldId field) {
    const auto i = static_cast<std::size_t>(field);
    const auto first = static_cast<std::size_t>(FieldId::firstFact);
    if (i < first || i >= first + kFactCount) {
        return std::nullopt;
    }
    return static_cast<Fact>(i - first);
}

const RowField& rowField(FieldId field) {
    return kFields[static_cast<std::size_t>(field)];
}

std::span<const RowField> rowFields() {
    return kFields;
}

std::optional<FieldId> fieldNamed(std::string_view name) {
    for (const RowField& field : kFields) {
        if (field.name == name) {
            return field.id;
        }
    }
    return std::nullopt;
}

std::string_view filterKeyOf(const RowField& field) {
    if (field.filter == FilterAs::none) {
        return {};
    }
    return field.filterName.empty() ? field.name : field.filterName;
}

RowParts rowPartsOf(FieldId field) {
    if (factOf(field)) {
        return RowPart::facts;
    }
    switch (field) {
        case FieldId::kind:
        case FieldId::rules:
        case FieldId::rule_ids:
        case FieldId::level:
        case FieldId::tags:
        case FieldId::note:
            return 0;
        case FieldId::timestamp:
            return RowPart::timestamp | RowPart::numbers;  // its number is the time value
        case FieldId::type:
            return RowPart::type;
        case FieldId::pid:
        case FieldId::ppid:
        case FieldId::utc:
            return RowPart::numbers;
        case FieldId::path:
            return RowPart::path;
        case FieldId::outcome:
            return RowPart::outcome;
        default:
            return RowPart::whole;
    }
}

RowParts rowPartsOf(const FieldList& fields) {
    RowParts parts = 0;
    for (const FieldId field : fields) {
        parts |= rowPartsOf(field);
    }
    return parts;
}

std::string_view fieldText(FieldId id, const RowView& row, std::string& scratch) {
    const RowField& field = rowField(id);
    const FieldValue value = field.read(row);
    switch (field.form) {
        case FieldForm::text:
            return value.text;
        case FieldForm::number:
            scratch.clear();
            if (value.hasNumber) {
                appendDecimal(scratch, value.number);
            }
            return scratch;
        case FieldForm::utc:
            scratch = value.hasNumber ? formatUtc(value.number) : std::string();
            return scratch;
    }
    return {};
}

std::optional<FieldList> parseFieldList(std::string_view list) {
    FieldList fields;
    while (true) {
        const std::size_t comma = list.find(',');
        const std::optional<FieldId> field = fieldNamed(list.substr(0, comma));
        if (!field) {
            return std::nullopt;
        }
        fields.push_back(*field);
        if (comma == std::string_view::npos) {
            return fields;
        }
        list.remove_prefix(comma + 1);
    }
}

}  // namespace korvantis

#include "store/row_fields.h"

#include <array>
#include <charconv>

#include "ingest/decimal_text.h"
#include "ingest/time_value.h"
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

// A non-fact field with nothing but its name, title and value, sorted and
// filtered as text (or not filtered), offered as a column nowhere.
constexpr RowField textField(FieldId id, std::string_view name, std::string_view title,
                             FieldValue (*read)(const RowView&), FilterAs filter = FilterAs::text,
                             std::string_view filterName = {}) {
    RowField field{};
    field.id = id;
    field.name = name;
    field.title = title;
    field.filter = filter;
    field.filterName = filterName;
    field.read = read;
    return field;
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

// clang-format off
constexpr std::array<RowField, kFieldCount> kFields = {{
    {FieldId::kind, "kind", "Kind", FieldForm::text, SortKind::text, FilterAs::none, {}, false,
     0, 0, [](const RowView& r) { return textValue(kRowKindNames[indexOf(r.kind)]); }},
    {FieldId::timestamp, "timestamp", "Time", FieldForm::text, SortKind::time, FilterAs::text,
     "time", true, kEveryKind, kEveryKind, &timeValue},
    {FieldId::type, "type", "Type", FieldForm::text, SortKind::text, FilterAs::text, {}, true,
     kEveryKind, kEveryKind, [](const RowView& r) { return textValue(r.type); }},
    {FieldId::pid, "pid", "PID", FieldForm::number, SortKind::number, FilterAs::integer, {},
     true, kEveryKind, kEveryKind, [](const RowView& r) { return numberValue(r.pid); }},
    {FieldId::ppid, "ppid", "PPID", FieldForm::number, SortKind::number, FilterAs::integer, {},
     true, kProcess | kOther, kProcess | kOther,
     [](const RowView& r) { return r.hasPpid() ? numberValue(r.ppid) : FieldValue{}; }},
    {FieldId::path, "path", "Path", FieldForm::text, SortKind::text, FilterAs::text, {}, true,
     kEveryKind, kEveryKind, [](const RowView& r) { return textValue(r.path); }},
    {FieldId::utc, "utc", "UTC", FieldForm::utc, SortKind::time, FilterAs::none, {}, false, 0, 0,
     &timeValue},
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
    [] {
        RowField f = textField(FieldId::outcome, "outcome", "Outcome",
                               [](const RowView& r) { return textValue(r.outcome); });
        f.columns = kProcess;
        return f;
    }(),
    // Of the detection rules the row matches: `rule:` finds a title or an id.
    [] {
        RowField f = textField(FieldId::rules, "rules", "Rules",
                               [](const RowView& r) { return textValue(ruleTitlesOf(r.ruleHits)); },
                               FilterAs::own, "rule");
        f.holds = [](const RowView& r, std::string_view folded) {
            return r.ruleHits != nullptr && r.ruleHits->mentions(folded);
        };
        return f;
    }(),
    textField(FieldId::rule_ids, "rule_ids", "Rule IDs",
              [](const RowView& r) { return textValue(ruleIdsOf(r.ruleHits)); }, FilterAs::none),
    [] {
        RowField f = textField(FieldId::level, "level", "Level", &levelValue, FilterAs::atLeast);
        f.sort = SortKind::rank;
        f.rankNamed = &levelNamed;
        f.wants = "wants informational, low, medium, high or critical";
        return f;
    }(),
    // Of the row's mark: its tags (sorted, joined by commas) and its note.
    textField(FieldId::tags, "tags", "Tags", [](const RowView& r) { return textValue(r.tags); },
              FilterAs::item, "tag"),
    textField(FieldId::note, "note", "Note", [](const RowView& r) { return textValue(r.note); }),
}};
// clang-format on

constexpr bool inIdOrder() {
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        const RowField& f = kFields[i];
        if (static_cast<std::size_t>(f.id) != i || f.read == nullptr ||
            (f.filter == FilterAs::own) != (f.holds != nullptr) ||
            (f.filter == FilterAs::atLeast) != (f.rankNamed != nullptr)) {
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

}  // namespace korvantis

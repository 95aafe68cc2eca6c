// The filter language: parsing a query and matching rows against it.

#include "query/filter_query.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <optional>
#include <system_error>

#include "decode/decimal_text.h"
#include "decode/event_kinds.h"
#include "decode/time_value.h"
#include "query/query_terms.h"

namespace korvantis {

// --- Parsing ---

namespace {

struct KeyName {
    std::string_view name;
    FilterQuery::Key key;
};
// The keys that are not fields.
constexpr KeyName kKeys[] = {
    {"tree", FilterQuery::Key::tree},
    {"json", FilterQuery::Key::json},
    {"after", FilterQuery::Key::after},
    {"before", FilterQuery::Key::before},
};

std::string_view nameOf(const FilterQuery::Term& term) {
    if (term.key == FilterQuery::Key::field) {
        return filterKeyOf(rowField(term.field));
    }
    for (const KeyName& k : kKeys) {
        if (k.key == term.key) {
            return k.name;
        }
    }
    return "text";
}

// Sets the key of `term` named `word` (any ASCII case); false when none is.
bool setKeyNamed(std::string_view word, FilterQuery::Term& term) {
    for (const KeyName& k : kKeys) {
        if (equalsFolded(word, k.name)) {
            term.key = k.key;
            return true;
        }
    }
    for (const RowField& field : rowFields()) {
        const std::string_view key = filterKeyOf(field);
        if (!key.empty() && equalsFolded(word, key)) {
            term.key = FilterQuery::Key::field;
            term.field = field.id;
            return true;
        }
    }
    return false;
}

bool isIntegerTerm(const FilterQuery::Term& term) {
    return term.key == FilterQuery::Key::field && rowField(term.field).filter == FilterAs::integer;
}

// A term whose value names a rank, matching rows ranked at least that.
bool isRankTerm(const FilterQuery::Term& term) {
    return term.key == FilterQuery::Key::field && rowField(term.field).filter == FilterAs::atLeast;
}

bool takesInteger(const FilterQuery::Term& term) {
    return term.key == FilterQuery::Key::tree || isIntegerTerm(term);
}

// Cheaper kinds first, so that a row fails early; json last, so raw lines
// are fetched only for rows that passed everything else.
int costOf(const FilterQuery::Term& term) {
    switch (term.key) {
        case FilterQuery::Key::tree:
        case FilterQuery::Key::after:
        case FilterQuery::Key::before:
            return 0;
        case FilterQuery::Key::field:
            return isIntegerTerm(term) || isRankTerm(term) ? 0 : 1;
        case FilterQuery::Key::plain:
            return 2;
        case FilterQuery::Key::json:
            return 3;
    }
    return 3;
}

bool couldBeNumber(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](char c) { return (c >= '0' && c <= '9') || c == '-'; });
}

}  // namespace

struct FilterQueryParser {
    static ParsedFilterQuery parse(std::string_view text) {
        const WrittenTerms written = splitQueryTerms(text);
        if (!written.balanced) {
            return {std::nullopt, "unbalanced quote: a \" is never closed"};
        }
        FilterQuery query;
        for (const WrittenTerm& w : written.terms) {
            FilterQuery::Term term;
            term.negated = w.negated();
            std::string_view rest = w.value();
            if (!setKeyNamed(w.keyWord(), term)) {
                rest = std::string_view(w.text).substr(term.negated ? 1 : 0);
            } else {
                if (isTimeKey(term.key) && !parseTime(rest, term.number)) {
                    return {std::nullopt, std::string(nameOf(term)) +
                                              ": wants a time such as 2026-08-12T15:28 or "
                                              "1765000000"};
                }
                if (rest.empty()) {
                    return {std::nullopt, "empty value after " + std::string(nameOf(term)) + ":"};
                }
            }
            term.text = std::string(rest);
            term.folded.reserve(term.text.size());
            for (const char c : term.text) {
                term.folded.push_back(static_cast<char>(foldAscii(c)));
            }
            if (isRankTerm(term)) {
                const RowField& field = rowField(term.field);
                const std::optional<std::int64_t> rank = field.rankNamed(term.folded);
                if (!rank) {
                    return {std::nullopt,
                            std::string(nameOf(term)) + ": " + std::string(field.wants)};
                }
                term.number = *rank;
            }
            if (takesInteger(term)) {
                std::string error = parseNumber(nameOf(term), rest, term.number);
                if (!error.empty()) {
                    return {std::nullopt, std::move(error)};
                }
            }
            term.numeric = couldBeNumber(term.text);
            query.terms_.push_back(std::move(term));
        }
        std::stable_sort(query.terms_.begin(), query.terms_.end(),
                         [](const FilterQuery::Term& a, const FilterQuery::Term& b) {
                             return costOf(a) < costOf(b);
                         });
        return {std::move(query), {}};
    }

  private:
    static bool isTimeKey(FilterQuery::Key key) {
        return key == FilterQuery::Key::after || key == FilterQuery::Key::before;
    }
    // Whether `text` names a moment, then kept in `value`.
    static bool parseTime(std::string_view text, std::int64_t& value) {
        const std::optional<TimeValue> moment = parseTimeBound(text);
        value = moment.value_or(0);
        return moment.has_value();
    }

    // An error text, or empty when `text` is a decimal 64-bit integer.
    static std::string parseNumber(std::string_view key, std::string_view text,
                                   std::int64_t& value) {
        const std::string name(key);
        const char* end = text.data() + text.size();
        const auto [stop, ec] = std::from_chars(text.data(), end, value);
        if (ec == std::errc::result_out_of_range) {
            return name + ": " + std::string(text) + " does not fit in 64 bits";
        }
        if (ec != std::errc{} || stop != end) {
            return name + ": needs a whole number, not \"" + std::string(text) + "\"";
        }
        return {};
    }
};

ParsedFilterQuery parseFilterQuery(std::string_view text) {
    return FilterQueryParser::parse(text);
}

// --- Matching ---

bool FilterQuery::needsRawLine() const {
    return std::any_of(terms_.begin(), terms_.end(),
                       [](const Term& t) { return t.key == Key::json; });
}

namespace {

void addExtrasOf(FieldId field, FilterQuery::Extras& extras) {
    switch (field) {
        case FieldId::rules:
        case FieldId::rule_ids:
        case FieldId::level:
            extras.ruleHits = true;
            break;
        case FieldId::outcome:
            extras.outcome = true;
            break;
        case FieldId::tags:
        case FieldId::note:
            extras.marks = true;
            break;
        default:
            break;
    }
}

}  // namespace

FilterQuery::Extras FilterQuery::extras() const {
    Extras extras;
    for (const Term& t : terms_) {
        if (t.key == Key::field) {
            addExtrasOf(t.field, extras);
        } else if (t.key == Key::plain) {
            for (const RowField& field : rowFields()) {
                if (field.plain) {
                    addExtrasOf(field.id, extras);
                }
            }
        }
    }
    return extras;
}

std::vector<std::int64_t> FilterQuery::treeRoots() const {
    std::vector<std::int64_t> roots;
    for (const Term& t : terms_) {
        if (t.key == Key::tree && std::find(roots.begin(), roots.end(), t.number) == roots.end()) {
            roots.push_back(t.number);
        }
    }
    return roots;
}

void FilterQuery::bindTree(std::int64_t root, std::shared_ptr<const PidSet> members) {
    for (Term& t : terms_) {
        if (t.key == Key::tree && t.number == root) {
            t.tree = members;
        }
    }
}

void FilterQuery::bindTrees(std::span<const ProcessLink> processes) {
    for (const std::int64_t root : treeRoots()) {
        bindTree(root, std::make_shared<const PidSet>(descendantPids(root, processes)));
    }
}

namespace {

bool numberContains(std::int64_t number, std::string_view folded) {
    return containsFolded(DecimalText(number).view(), folded);
}

// The fields a plain term looks at.
const std::vector<FieldId>& plainFields() {
    static const std::vector<FieldId> fields = [] {
        std::vector<FieldId> plain;
        for (const RowField& field : rowFields()) {
            if (field.plain) {
                plain.push_back(field.id);
            }
        }
        return plain;
    }();
    return fields;
}

bool plainHolds(const FilterQuery::Term& term, const RowView& row) {
    for (const FieldId id : plainFields()) {
        const RowField& field = rowField(id);
        const FieldValue value = field.read(row);
        if (field.form == FieldForm::text
                ? containsFolded(value.text, term.folded)
                : term.numeric && value.hasNumber && numberContains(value.number, term.folded)) {
            return true;
        }
    }
    return false;
}

// Whether the comma-joined lower-case items hold `item` (lower case) whole.
bool hasItem(std::string_view items, std::string_view item) {
    while (!items.empty()) {
        const std::size_t comma = items.find(',');
        if (items.substr(0, comma) == item) {
            return true;
        }
        if (comma == std::string_view::npos) {
            break;
        }
        items.remove_prefix(comma + 1);
    }
    return false;
}

bool fieldHolds(const FilterQuery::Term& term, const RowView& row) {
    const RowField& field = rowField(term.field);
    if (field.filter == FilterAs::own) {
        return field.holds(row, term.folded);
    }
    const FieldValue value = field.read(row);
    // An integer fact is the decimal form of its value: equal texts, equal
    // values. A field without a value holds no number and no text.
    switch (field.filter) {
        case FilterAs::integer:
            return value.hasNumber && value.number == term.number;
        case FilterAs::atLeast:
            return value.hasNumber && value.number >= term.number;
        case FilterAs::item:
            return hasItem(value.text, term.folded);
        default:
            return containsFolded(value.text, term.folded);
    }
}

bool termHolds(const FilterQuery::Term& term, const RowView& row, RawLineRef rawLine) {
    using Key = FilterQuery::Key;
    switch (term.key) {
        case Key::field:
            return fieldHolds(term, row);
        case Key::tree:
            return term.tree ? term.tree->contains(row.pid) : row.pid == term.number;
        case Key::json:
            return containsFolded(rawLine(), term.folded);
        case Key::after:
            return row.time != kNoTimeValue && row.time >= term.number;
        case Key::before:
            return row.time != kNoTimeValue && row.time < term.number;
        case Key::plain:
            return plainHolds(term, row);
    }
    return false;
}

}  // namespace

RowParts FilterQuery::rowParts() const {
    RowParts parts = 0;
    for (const Term& term : terms_) {
        switch (term.key) {
            case Key::field:
                parts |= rowPartsOf(term.field);
                break;
            case Key::plain:
                parts |= rowPartsOf(plainFields());
                break;
            case Key::tree:
            case Key::after:
            case Key::before:
                parts |= RowPart::numbers;
                break;
            case Key::json:
                break;
        }
    }
    return parts;
}

std::optional<FilterQuery::EventTypes> FilterQuery::typesShown() const {
    const Extras read = extras();
    if (needsRawLine() || read.ruleHits || read.outcome || read.marks ||
        (rowParts() & ~RowPart::type) != 0) {
        return std::nullopt;
    }
    // Process rows are made of the process events alone, file rows of the
    // others.
    EventTypes shown;
    for (std::size_t event = 0; event < kEventKindNames.size(); ++event) {
        RowView row;
        row.kind = isProcessKind(static_cast<EventKind>(event)) ? RowKind::process : RowKind::file;
        row.type = kEventKindNames[event];
        shown[event] = matches(row);
    }
    return shown;
}

bool FilterQuery::mayMatchKind(RowKind kind) const {
    const std::optional<EventTypes> shown = typesShown();
    if (kind == RowKind::other || !shown) {
        return true;
    }
    for (std::size_t event = 0; event < kEventKindNames.size(); ++event) {
        if (isProcessKind(static_cast<EventKind>(event)) == (kind == RowKind::process) &&
            (*shown)[event]) {
            return true;
        }
    }
    return false;
}

bool FilterQuery::matches(const RowView& row, RawLineRef rawLine) const {
    for (const Term& term : terms_) {
        if (termHolds(term, row, rawLine) == term.negated) {
            return false;
        }
    }
    return true;
}

}  // namespace korvantis

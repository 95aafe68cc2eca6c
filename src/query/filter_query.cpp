// The filter language: parsing a query and matching rows against it.

#include "query/filter_query.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <optional>
#include <system_error>

#include "ingest/time_value.h"
#include "query/query_terms.h"
#include "rules/rule_hit_sets.h"

namespace korvantis {

// --- Parsing ---

namespace {

struct KeyName {
    std::string_view name;
    FilterQuery::Key key;
};
constexpr KeyName kKeys[] = {
    {"pid", FilterQuery::Key::pid},       {"ppid", FilterQuery::Key::ppid},
    {"type", FilterQuery::Key::type},     {"path", FilterQuery::Key::path},
    {"time", FilterQuery::Key::time},     {"tree", FilterQuery::Key::tree},
    {"json", FilterQuery::Key::json},     {"after", FilterQuery::Key::after},
    {"before", FilterQuery::Key::before}, {"outcome", FilterQuery::Key::outcome},
    {"rule", FilterQuery::Key::rule},     {"level", FilterQuery::Key::level},
    {"before", FilterQuery::Key::before}, {"tag", FilterQuery::Key::tag},
    {"note", FilterQuery::Key::note},
};

std::string_view nameOf(const FilterQuery::Term& term) {
    if (term.key == FilterQuery::Key::fact) {
        return kFactNames[static_cast<std::size_t>(term.fact)];
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
    for (std::size_t i = 0; i < kFactCount; ++i) {
        if (equalsFolded(word, kFactNames[i])) {
            term.key = FilterQuery::Key::fact;
            term.fact = static_cast<Fact>(i);
            return true;
        }
    }
    return false;
}

bool takesInteger(const FilterQuery::Term& term) {
    using Key = FilterQuery::Key;
    return term.key == Key::pid || term.key == Key::ppid || term.key == Key::tree ||
           (term.key == Key::fact && isIntegerFact(term.fact));
}

std::string decimal(std::int64_t value) {
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    (void)ec;  // 24 bytes always hold a 64-bit number
    return std::string(digits, end);
}

// Cheaper kinds first, so that a row fails early; json last, so raw lines
// are fetched only for rows that passed everything else.
int costOf(FilterQuery::Key key) {
    switch (key) {
        case FilterQuery::Key::pid:
        case FilterQuery::Key::ppid:
        case FilterQuery::Key::tree:
        case FilterQuery::Key::after:
        case FilterQuery::Key::before:
        case FilterQuery::Key::level:
            return 0;
        case FilterQuery::Key::rule:
            return 1;
        case FilterQuery::Key::type:
        case FilterQuery::Key::time:
        case FilterQuery::Key::path:
        case FilterQuery::Key::fact:
        case FilterQuery::Key::outcome:
        case FilterQuery::Key::tag:
        case FilterQuery::Key::note:
            return 1;
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
            if (term.key == FilterQuery::Key::level) {
                const RuleLevel level = ruleLevelNamed(term.folded);
                if (level == RuleLevel::none) {
                    return {std::nullopt,
                            "level: wants informational, low, medium, high or critical"};
                }
                term.number = static_cast<std::int64_t>(level);
            }
            if (takesInteger(term)) {
                std::string error = parseNumber(nameOf(term), rest, term.number);
                if (!error.empty()) {
                    return {std::nullopt, std::move(error)};
                }
                term.digits = decimal(term.number);
            }
            term.numeric = couldBeNumber(term.text);
            query.terms_.push_back(std::move(term));
        }
        std::stable_sort(query.terms_.begin(), query.terms_.end(),
                         [](const FilterQuery::Term& a, const FilterQuery::Term& b) {
                             return costOf(a.key) < costOf(b.key);
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
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, number);
    (void)ec;  // 24 bytes always hold a 64-bit number
    return containsFolded(std::string_view(digits, static_cast<std::size_t>(end - digits)), folded);
}

// Whether the comma-joined lower-case tags hold `tag` (lower case) whole.
bool hasTag(std::string_view tags, std::string_view tag) {
    while (!tags.empty()) {
        const std::size_t comma = tags.find(',');
        if (tags.substr(0, comma) == tag) {
            return true;
        }
        if (comma == std::string_view::npos) {
            break;
        }
        tags.remove_prefix(comma + 1);
    }
    return false;
}

bool termHolds(const FilterQuery::Term& term, const RowView& row, RawLineRef rawLine) {
    using Key = FilterQuery::Key;
    switch (term.key) {
        case Key::pid:
            return row.pid == term.number;
        case Key::ppid:
            return (row.isProcess || row.isOther) && row.ppid == term.number;
        case Key::tree:
            return term.tree ? term.tree->contains(row.pid) : row.pid == term.number;
        case Key::type:
            return containsFolded(row.type, term.folded);
        case Key::path:
            return containsFolded(row.path, term.folded);
        case Key::time:
            return containsFolded(row.timestamp, term.folded);
        case Key::json:
            return containsFolded(rawLine(), term.folded);
        case Key::outcome:
            return containsFolded(row.outcome, term.folded);
        case Key::fact:
            // An integer fact is the decimal form of its value: equal texts,
            // equal values. An empty fact holds no value and no text.
            return isIntegerFact(term.fact) ? row.facts[term.fact] == term.digits
                                            : containsFolded(row.facts[term.fact], term.folded);
        case Key::rule:
            return row.ruleHits != nullptr && row.ruleHits->mentions(term.folded);
        case Key::level: {
            const RuleLevel level = ruleLevelOf(row.ruleHits);
            return level != RuleLevel::none && static_cast<std::int64_t>(level) >= term.number;
        }
        case Key::tag:
            return hasTag(row.tags, term.folded);
        case Key::note:
            return containsFolded(row.note, term.folded);
        case Key::after:
            return row.time != kNoTimeValue && row.time >= term.number;
        case Key::before:
            return row.time != kNoTimeValue && row.time < term.number;
        case Key::plain:
            return containsFolded(row.path, term.folded) || containsFolded(row.type, term.folded) ||
                   containsFolded(row.timestamp, term.folded) ||
                   containsFolded(row.facts[Fact::args], term.folded) ||
                   containsFolded(row.facts[Fact::summary], term.folded) ||
                   (term.numeric &&
                    (numberContains(row.pid, term.folded) ||
                     ((row.isProcess || row.isOther) && numberContains(row.ppid, term.folded))));
    }
    return false;
}

}  // namespace

bool FilterQuery::matches(const RowView& row, RawLineRef rawLine) const {
    for (const Term& term : terms_) {
        if (termHolds(term, row, rawLine) == term.negated) {
            return false;
        }
    }
    return true;
}

}  // namespace korvantis

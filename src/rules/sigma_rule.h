#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rules/rule_condition.h"
#include "rules/rule_event.h"
#include "rules/wildcard_pattern.h"

namespace re2 {
class RE2;
}

namespace korvantis {

// Levels in rising order; kNoLevel for a rule without one.
enum class RuleLevel : std::uint8_t { informational, low, medium, high, critical, none };
inline constexpr std::string_view kRuleLevelNames[] = {"informational", "low",      "medium",
                                                       "high",          "critical", ""};
std::string_view ruleLevelName(RuleLevel level);
// The level named exactly (lower case), or none.
RuleLevel ruleLevelNamed(std::string_view name);

// One value of a field item, ready to be tested on a field.
struct RuleValue {
    enum class Kind : std::uint8_t { isNull, pattern, regex, exists, compare, fieldref };
    enum class Compare : std::uint8_t { lt, lte, gt, gte };
    Kind kind = Kind::isNull;
    std::optional<WildcardPattern> pattern;
    std::shared_ptr<const re2::RE2> regex;
    bool exists = false;  // exists: what is wanted
    Compare compare = Compare::lt;
    std::int64_t number = 0;
    RuleField other = RuleField::Image;  // fieldref
    // A pattern: its number among the set's alike patterns tested on the
    // same text (see FieldItem::shared; the two share one numbering).
    std::uint32_t shared = UINT32_MAX;
};

// `Field|mod...: values`, or a keyword search of the raw line.
struct FieldItem {
    bool keywords = false;  // searches the raw line; `field` unused
    bool known = true;      // a field of the table; an unknown one is always null
    RuleField field = RuleField::Image;
    bool all = false;  // every value must hold, else any
    bool cased = false;
    std::vector<RuleValue> values;
    // The item as written (its key, and its values with their types): items
    // of several rules written alike hold alike, and are tested once a row.
    std::string sameness;
    static constexpr std::uint32_t kUnshared = UINT32_MAX;
    std::uint32_t shared = kUnshared;  // its number among the set's alike items
};

// Whether `item` holds for `event` (its answer not kept).
bool fieldItemHolds(const FieldItem& item, const RuleEvent& event);

// A selection holds when every item of one of its alternatives holds.
struct Selection {
    std::vector<std::vector<FieldItem>> alternatives;
    bool usesLineage = false;  // some item reads ParentImage or ParentCommandLine
};

struct SigmaRule {
    std::string title;
    std::string id;  // empty when it has none
    std::string description;
    RuleLevel level = RuleLevel::none;
    RuleCategory category = RuleCategory::processCreation;
    std::vector<std::string> identifiers;
    std::vector<Selection> selections;      // by identifier
    std::vector<RuleCondition> conditions;  // any of them
    bool usesLineage = false;               // names ParentImage or ParentCommandLine
    bool usesKeywords = false;              // searches the raw line
    std::vector<std::string> neverPresent;  // fields outside the table, as first named

    // Whether the rule holds for `event` (of the rule's category).
    bool matches(const RuleEvent& event) const;
    // The same before lineage is known: RuleCondition::kTrue, kFalse, or
    // kUnknown when the answer depends on the selections that read it.
    int matchesWithoutLineage(const RuleEvent& event) const;
};

}  // namespace korvantis

#include "rules/sigma_rule.h"

#include <re2/re2.h>

#include <algorithm>
#include <charconv>

namespace korvantis {

namespace {

bool parseDecimal(std::string_view text, std::int64_t& value) {
    if (text.empty()) {
        return false;
    }
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc{} && end == text.data() + text.size();
}

bool valueHolds(const FieldItem& item, const RuleValue& value, const RuleEvent& event) {
    const bool isNull = !item.known || event.isNull(item.field);
    switch (value.kind) {
        case RuleValue::Kind::isNull:
            return isNull;
        case RuleValue::Kind::exists:
            return value.exists != isNull;
        case RuleValue::Kind::pattern: {
            if (!item.keywords && isNull) {
                return false;
            }
            // Many rules list the same values (`.plist`, `/tmp/`, a shell's
            // name): each is tested once a row.
            const int known = value.shared == UINT32_MAX ? -1 : event.itemResult(value.shared);
            if (known >= 0) {
                return known == 1;
            }
            const bool holds =
                item.keywords
                    ? value.pattern->matches(item.cased ? event.rawLine : event.foldedLine())
                    : value.pattern->matches(item.cased ? event.text(item.field)
                                                        : event.folded(item.field));
            if (value.shared != UINT32_MAX) {
                event.keepItemResult(value.shared, holds);
            }
            return holds;
        }
        case RuleValue::Kind::regex: {
            if (isNull) {
                return false;
            }
            const std::string_view text = event.text(item.field);
            return RE2::PartialMatch(re2::StringPiece(text.data(), text.size()), *value.regex);
        }
        case RuleValue::Kind::compare: {
            std::int64_t number = 0;
            if (isNull || !parseDecimal(event.text(item.field), number)) {
                return false;
            }
            switch (value.compare) {
                case RuleValue::Compare::lt:
                    return number < value.number;
                case RuleValue::Compare::lte:
                    return number <= value.number;
                case RuleValue::Compare::gt:
                    return number > value.number;
                case RuleValue::Compare::gte:
                    return number >= value.number;
            }
            return false;
        }
        case RuleValue::Kind::fieldref:
            if (isNull || event.isNull(value.other)) {
                return false;
            }
            return item.cased ? event.text(item.field) == event.text(value.other)
                              : event.folded(item.field) == event.folded(value.other);
    }
    return false;
}

bool itemHolds(const FieldItem& item, const RuleEvent& event) {
    for (const RuleValue& value : item.values) {
        if (valueHolds(item, value, event) != item.all) {
            return !item.all;
        }
    }
    return item.all;
}

// The same, tested once a row for all the items alike.
bool sharedItemHolds(const FieldItem& item, const RuleEvent& event) {
    if (item.shared == FieldItem::kUnshared) {
        return itemHolds(item, event);
    }
    const int known = event.itemResult(item.shared);
    if (known >= 0) {
        return known == 1;
    }
    const bool holds = itemHolds(item, event);
    event.keepItemResult(item.shared, holds);
    return holds;
}

bool selectionHolds(const Selection& selection, const RuleEvent& event) {
    for (const std::vector<FieldItem>& items : selection.alternatives) {
        bool all = true;
        for (const FieldItem& item : items) {
            if (!sharedItemHolds(item, event)) {
                all = false;
                break;
            }
        }
        if (all) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool fieldItemHolds(const FieldItem& item, const RuleEvent& event) {
    return itemHolds(item, event);
}

std::string_view ruleLevelName(RuleLevel level) {
    return kRuleLevelNames[static_cast<std::size_t>(level)];
}

RuleLevel ruleLevelNamed(std::string_view name) {
    for (std::size_t i = 0; i < 5; ++i) {
        if (kRuleLevelNames[i] == name) {
            return static_cast<RuleLevel>(i);
        }
    }
    return RuleLevel::none;
}

int SigmaRule::matchesWithoutLineage(const RuleEvent& event) const {
    if (event.category != category) {
        return RuleCondition::kFalse;
    }
    if (!usesLineage) {
        return matches(event) ? RuleCondition::kTrue : RuleCondition::kFalse;
    }
    thread_local std::vector<std::int8_t> known;
    known.assign(selections.size(), -1);
    auto holds = [&](std::size_t i) -> int {
        if (known[i] < 0) {
            known[i] = selections[i].usesLineage              ? RuleCondition::kUnknown
                       : selectionHolds(selections[i], event) ? RuleCondition::kTrue
                                                              : RuleCondition::kFalse;
        }
        return known[i];
    };
    int result = RuleCondition::kFalse;
    for (const RuleCondition& condition : conditions) {
        const int v = condition.evaluateUnknown(holds);
        if (v == RuleCondition::kTrue) {
            return v;
        }
        result = std::max(result, v);
    }
    return result;
}

bool SigmaRule::matches(const RuleEvent& event) const {
    if (event.category != category) {
        return false;
    }
    // Each selection is tested once at most, when the condition asks for it.
    thread_local std::vector<std::int8_t> known;
    known.assign(selections.size(), -1);
    auto holds = [&](std::size_t i) {
        if (known[i] < 0) {
            known[i] = selectionHolds(selections[i], event) ? 1 : 0;
        }
        return known[i] == 1;
    };
    for (const RuleCondition& condition : conditions) {
        if (condition.evaluateWith(holds)) {
            return true;
        }
    }
    return false;
}

}  // namespace korvantis

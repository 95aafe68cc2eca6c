#pragma once

#include <cstdint>
#include <vector>

#include "rules/rule_event.h"
#include "rules/sigma_rule.h"

namespace korvantis {

// A set's rules written out for testing rows fast: each rule's condition,
// with its selections expanded down to their field items, as one run of
// words in a single array, and the items alike in several rules kept once,
// side by side. Testing a rule then reads a few neighbouring words instead
// of following the pointers of its tree, which lie scattered in memory and
// cost a cache miss each. Within `or`, cheaper parts come first; within `and`,
// those likeliest to end it.
class CompiledRules {
  public:
    // `rules` with their items numbered (FieldItem::shared) from 0 to
    // `itemCount` - 1.
    void compile(const std::vector<SigmaRule>& rules, std::uint32_t itemCount);

    // RuleCondition::kTrue or kFalse: whether rule `rule` holds for `event`
    // (of its category); kUnknown when `lineageKnown` is false and the
    // answer depends on ParentImage or ParentCommandLine.
    int evaluate(std::uint32_t rule, const RuleEvent& event, bool lineageKnown) const;

  private:
    // A word's low bits say what it is; the rest is an item's number, or a
    // compound's length in words (itself included).
    enum Op : std::uint32_t { item = 0, andOp = 1, orOp = 2, notOp = 3 };
    static constexpr std::uint32_t kOpBits = 2;
    static constexpr std::uint32_t kOpMask = (1u << kOpBits) - 1;

    int run(std::uint32_t& at, const RuleEvent& event, bool lineageKnown) const;
    int itemValue(std::uint32_t id, const RuleEvent& event, bool lineageKnown) const;

    std::vector<std::uint32_t> words_;
    std::vector<std::uint32_t> startOf_;  // by rule
    std::vector<FieldItem> items_;        // by shared number
    std::vector<std::uint8_t> lineage_;   // by shared number: reads a parent field
};

}  // namespace korvantis

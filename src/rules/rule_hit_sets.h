#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "rules/sigma_rule.h"

namespace korvantis {

class RuleSet;

// The rules one row matches, with what the row fields `rules`, `rule_ids`
// and `level` show of them. Rows matching the same rules share one.
struct RuleHitSet {
    std::vector<std::uint32_t> rules;  // indices in rule order
    std::vector<std::string> titles;
    std::vector<std::string> ids;  // of the rules that have one
    // Per rule, as `rules`: its own level, description and id (empty when
    // it has none).
    std::vector<RuleLevel> levels;
    std::vector<std::string> descriptions;
    std::vector<std::string> perRuleIds;
    std::string titlesText;  // joined by "; "
    std::string idsText;
    RuleLevel level = RuleLevel::none;  // the highest
    // Whether a matching rule's title or id contains `folded` (already in
    // ASCII lower case), ASCII case ignored.
    bool mentions(std::string_view folded) const;
};

// A row's fields `rules`, `rule_ids` and `level` from its hits (nullptr:
// none), empty without hits.
inline std::string_view ruleTitlesOf(const RuleHitSet* hits) {
    return hits != nullptr ? std::string_view(hits->titlesText) : std::string_view{};
}
inline std::string_view ruleIdsOf(const RuleHitSet* hits) {
    return hits != nullptr ? std::string_view(hits->idsText) : std::string_view{};
}
inline RuleLevel ruleLevelOf(const RuleHitSet* hits) {
    return hits != nullptr ? hits->level : RuleLevel::none;
}

// Every hit set made so far, kept while the store lives; interned from a
// load's filing thread, read from anywhere once handed out.
class RuleHitSets {
  public:
    const RuleHitSet* intern(std::span<const std::uint32_t> rules, const RuleSet& set);

  private:
    std::mutex mutex_;
    std::map<std::vector<std::uint32_t>, std::unique_ptr<RuleHitSet>> sets_;
    std::vector<std::unique_ptr<RuleHitSet>> retired_;
    std::uint64_t of_ = 0;  // the serial of the rule set the sets name
};

}  // namespace korvantis

#include "rules/rule_hit_sets.h"

#include <algorithm>

#include "rules/rule_set.h"

namespace korvantis {

namespace {

bool containsFoldedText(std::string_view text, std::string_view folded) {
    if (folded.size() > text.size()) {
        return false;
    }
    std::string lower;
    foldAsciiInto(text, lower);
    return lower.find(folded) != std::string::npos;
}

}  // namespace

bool RuleHitSet::mentions(std::string_view folded) const {
    return std::any_of(titles.begin(), titles.end(),
                       [&](const std::string& t) { return containsFoldedText(t, folded); }) ||
           std::any_of(ids.begin(), ids.end(),
                       [&](const std::string& t) { return containsFoldedText(t, folded); });
}

const RuleHitSet* RuleHitSets::intern(std::span<const std::uint32_t> rules, const RuleSet& set) {
    std::vector<std::uint32_t> key(rules.begin(), rules.end());
    std::lock_guard lock(mutex_);
    if (of_ != set.serial()) {
        // Sets made for another rule set stay valid for the rows that have
        // them; new rows get their own.
        for (auto& [k, hitSet] : sets_) {
            retired_.push_back(std::move(hitSet));
        }
        sets_.clear();
        of_ = set.serial();
    }
    std::unique_ptr<RuleHitSet>& slot = sets_[key];
    if (!slot) {
        slot = std::make_unique<RuleHitSet>();
        slot->rules = std::move(key);
        for (const std::uint32_t r : slot->rules) {
            const SigmaRule& rule = set.rules[r];
            slot->titles.push_back(rule.title);
            slot->levels.push_back(rule.level);
            slot->descriptions.push_back(rule.description);
            slot->perRuleIds.push_back(rule.id);
            if (!slot->titlesText.empty()) {
                slot->titlesText += "; ";
            }
            slot->titlesText += rule.title;
            if (!rule.id.empty()) {
                slot->ids.push_back(rule.id);
                if (!slot->idsText.empty()) {
                    slot->idsText += "; ";
                }
                slot->idsText += rule.id;
            }
            if (rule.level != RuleLevel::none &&
                (slot->level == RuleLevel::none || rule.level > slot->level)) {
                slot->level = rule.level;
            }
        }
    }
    return slot.get();
}

}  // namespace korvantis

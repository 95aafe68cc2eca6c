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
        // Sets made for another rule set stay for the rows that have them;
        // new rows get their own.
        current_.clear();
        of_ = set.serial();
    }
    if (const auto found = current_.find(key); found != current_.end()) {
        return &at(found->second);
    }
    // Made whole before anything is kept: an allocation failing part way
    // leaves no number behind that names no set.
    RuleHitSet made;
    made.number = count_;
    made.rules = std::move(key);
    for (const std::uint32_t r : made.rules) {
        const SigmaRule& rule = set.rules[r];
        made.titles.push_back(rule.title);
        made.levels.push_back(rule.level);
        made.descriptions.push_back(rule.description);
        made.perRuleIds.push_back(rule.id);
        if (!made.titlesText.empty()) {
            made.titlesText += "; ";
        }
        made.titlesText += rule.title;
        if (!rule.id.empty()) {
            made.ids.push_back(rule.id);
            if (!made.idsText.empty()) {
                made.idsText += "; ";
            }
            made.idsText += rule.id;
        }
        if (rule.level != RuleLevel::none &&
            (made.level == RuleLevel::none || rule.level > made.level)) {
            made.level = rule.level;
        }
    }
    const std::uint32_t chunk = chunkOf(count_);
    if (!chunks_[chunk]) {
        chunks_[chunk] = std::make_unique<RuleHitSet[]>(std::size_t{kFirstChunk} << chunk);
    }
    current_.emplace(made.rules, count_);
    ++count_;
    RuleHitSet& kept = slot(made.number);
    kept = std::move(made);
    return &kept;
}

}  // namespace korvantis

#pragma once

#include <array>
#include <bit>
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
    std::uint32_t number = 0;           // its place among its RuleHitSets'
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

// Every hit set made so far, kept while the store lives and numbered in the
// order made, so that a row can name its set in four bytes; interned from a
// load's filing thread, read from anywhere once handed out.
class RuleHitSets {
  public:
    const RuleHitSet* intern(std::span<const std::uint32_t> rules, const RuleSet& set);
    // The set numbered `number`: one handed out before (the hand-over is what
    // makes it safe to read here from another thread, as sets never move).
    const RuleHitSet& at(std::uint32_t number) const { return slot(number); }

  private:
    // Sets lie in chunks of 64, 128, 256… that are never moved or freed
    // before the whole, so a number read anywhere finds its set in place.
    static constexpr std::uint32_t kFirstChunk = 64;
    static std::uint32_t chunkOf(std::uint32_t number) {
        return static_cast<std::uint32_t>(std::bit_width(number / kFirstChunk + 1)) - 1;
    }
    RuleHitSet& slot(std::uint32_t number) const {
        const std::uint32_t chunk = chunkOf(number);
        return chunks_[chunk]
                      [std::size_t{number} + kFirstChunk - (std::size_t{kFirstChunk} << chunk)];
    }
    std::mutex mutex_;
    std::array<std::unique_ptr<RuleHitSet[]>, 27> chunks_;  // room for every u32 number
    std::uint32_t count_ = 0;
    // The numbers of the sets made for the current rule set, by their rules.
    std::map<std::vector<std::uint32_t>, std::uint32_t> current_;
    std::uint64_t of_ = 0;  // the serial of the rule set `current_` names
};

}  // namespace korvantis

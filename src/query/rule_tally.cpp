#include "query/rule_tally.h"

#include <algorithm>
#include <map>
#include <utility>

#include "rules/rule_hit_sets.h"

namespace korvantis {

RuleTallies tallyRuleHits(const RowsSnapshot& rows) {
    RuleTallies out;
    // Keyed by index and title: rows loaded under an earlier rule set may
    // still hold its hits, whose indices name other rules.
    std::map<std::pair<std::uint32_t, std::string_view>, RuleTally> byRule;
    const auto count = [&](const RuleHitSet* hits, RowKind kind, std::size_t row) {
        if (hits == nullptr) {
            return;
        }
        ++out.rows;
        for (std::size_t k = 0; k < hits->rules.size(); ++k) {
            RuleTally& tally = byRule[{hits->rules[k], hits->titles[k]}];
            if (tally.rows.empty()) {
                tally.rule = hits->rules[k];
                tally.title = hits->titles[k];
                tally.level = k < hits->levels.size() ? hits->levels[k] : RuleLevel::none;
                tally.description = k < hits->descriptions.size() ? hits->descriptions[k] : "";
            }
            tally.rows.push_back(RuleHitRow{kind, static_cast<std::uint32_t>(row)});
        }
    };
    for (RowKind kind : kRowKinds) {
        const KindRowsSnapshot& list = rows.rows[kind];
        for (std::size_t i = 0; i < list.size(); ++i) {
            count(list.rowView(i).ruleHits, kind, i);
        }
    }
    for (auto& [key, tally] : byRule) {
        out.rules.push_back(std::move(tally));
    }
    return out;
}

}  // namespace korvantis

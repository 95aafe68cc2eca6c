#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "query/rows_snapshot.h"
#include "rules/sigma_rule.h"
#include "store/row_kind.h"

namespace korvantis {

// A row with detection rule hits: its kind and its index among those rows.
struct RuleHitRow {
    RowKind kind = RowKind::process;
    std::uint32_t row = 0;
    bool operator==(const RuleHitRow&) const = default;
};

// One rule that rows match, with those rows: process rows, then file rows,
// then other rows, each in row order.
struct RuleTally {
    std::uint32_t rule = 0;  // its index in its rule set
    std::string title;
    std::string description;
    RuleLevel level = RuleLevel::none;
    std::vector<RuleHitRow> rows;
};

// The rules rows match, in rule order, and how many rows match any.
struct RuleTallies {
    std::vector<RuleTally> rules;
    std::size_t rows = 0;
};

// The hits of `rows`, counted. Any thread.
RuleTallies tallyRuleHits(const RowsSnapshot& rows);

}  // namespace korvantis

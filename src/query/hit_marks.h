#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "query/row_bits.h"
#include "query/row_filter.h"
#include "query/rows_snapshot.h"
#include "query/time_slices.h"
#include "rules/sigma_rule.h"

namespace korvantis {

// The rows of one kind a highlight rule selects, with the rule's index among
// the highlight rules. Shared, never changed: the list's own are replaced.
struct HighlightedRowNumbers {
    int rule = -1;
    std::shared_ptr<const RowBits> rows;
};
// Every highlight rule's rows of one kind, in rule order: a row takes the
// first rule that selects it.
using KindHighlights = std::vector<HighlightedRowNumbers>;

// The higher of two levels; RuleLevel::none is below every level.
RuleLevel higherLevel(RuleLevel a, RuleLevel b);

// What the timeline marks in one slice: the highest level among the rule
// hits of its rows, and the first highlight rule (lowest index) that selects
// one of them, -1 for none.
struct SliceMark {
    RuleLevel level = RuleLevel::none;
    int highlight = -1;
    bool operator==(const SliceMark&) const = default;
};

// The marks of the slices of `slices` (one per slice) over the rows of
// `rows`; `shown[kind]` names the rows counted (nothing: every row).
std::vector<SliceMark> sliceMarks(const TimeSlices& slices, const PerKind<KindRowsSnapshot>& rows,
                                  const PerKind<std::optional<RowNumbers>>& shown,
                                  const PerKind<KindHighlights>& highlights);

// A node of the process tree whose rows carry rule hits or a highlight. A
// node is a process row; its rows are that row and every later row of its
// pid, of any kind, up to the next process row of that pid.
struct NodeMark {
    std::uint64_t place = 0;  // of the node's process row's line
    std::int64_t pid = 0;
    RuleLevel level = RuleLevel::none;  // the highest among its rows' hits
    // The rules its rows match, in rule order: index and title.
    std::vector<std::pair<std::uint32_t, std::string_view>> rules;
    // The highlight rule of its first highlighted row, -1 for none.
    int highlight = -1;
    bool operator==(const NodeMark&) const = default;
};

// The marked nodes, in the order of their lines.
std::vector<NodeMark> nodeMarks(const PerKind<KindRowsSnapshot>& rows,
                                const PerKind<KindHighlights>& highlights);

// The marks as the tree page reads them: a JSON array with one entry
// [place, "level", ["title", ...], highlight] per node ("" for no level).
std::string encodeNodeMarks(const std::vector<NodeMark>& marks);

}  // namespace korvantis

// Where rule hits and highlights lie: per slice of the timeline, per node of
// the process tree.

#include "query/hit_marks.h"

#include <algorithm>
#include <unordered_map>

#include "decode/decimal_text.h"
#include "decode/json_text.h"
#include "rules/rule_hit_sets.h"

namespace korvantis {

namespace {

// The first highlight rule (its index among the rules) that selects `row`,
// or -1.
int highlightOf(const KindHighlights& rules, std::uint32_t row) {
    for (const HighlightedRowNumbers& rule : rules) {
        if (rule.rows && rule.rows->test(row)) {
            return rule.rule;
        }
    }
    return -1;
}

void markSlice(SliceMark& mark, RuleLevel level, int highlight) {
    mark.level = higherLevel(mark.level, level);
    if (highlight >= 0 && (mark.highlight < 0 || highlight < mark.highlight)) {
        mark.highlight = highlight;
    }
}

// Adds the rules of `hits` to `rules`, keeping rule order and each once.
void addRules(std::vector<std::pair<std::uint32_t, std::string_view>>& rules,
              const RuleHitSet& hits) {
    for (std::size_t i = 0; i < hits.rules.size() && i < hits.titles.size(); ++i) {
        const std::pair<std::uint32_t, std::string_view> rule{hits.rules[i], hits.titles[i]};
        const auto at =
            std::lower_bound(rules.begin(), rules.end(), rule,
                             [](const auto& a, const auto& b) { return a.first < b.first; });
        if (at == rules.end() || at->first != rule.first) {
            rules.insert(at, rule);
        }
    }
}

}  // namespace

RuleLevel higherLevel(RuleLevel a, RuleLevel b) {
    if (a == RuleLevel::none) {
        return b;
    }
    if (b == RuleLevel::none) {
        return a;
    }
    return std::max(a, b);
}

std::vector<SliceMark> sliceMarks(const TimeSlices& slices, const PerKind<KindRowsSnapshot>& rows,
                                  const PerKind<std::optional<RowNumbers>>& shown,
                                  const PerKind<KindHighlights>& highlights) {
    std::vector<SliceMark> marks(slices.slices().size());
    for (const RowKind kind : kRowKinds) {
        const KindRowsSnapshot& list = rows[kind];
        // Rows come in ascending order: their hits are walked, and only a
        // marked row's time is read.
        KindRowsSnapshot::HitCursor hits = list.hitsFrom(0);
        const auto mark = [&](std::uint32_t row) {
            const RuleLevel level = ruleLevelOf(hits.at(row));
            const int rule = highlightOf(highlights[kind], row);
            if (level == RuleLevel::none && rule < 0) {
                return;
            }
            if (const std::ptrdiff_t slice = slices.sliceOf(list.timeOf(row)); slice >= 0) {
                markSlice(marks[static_cast<std::size_t>(slice)], level, rule);
            }
        };
        if (!shown[kind]) {
            for (std::size_t i = 0; i < list.size(); ++i) {
                mark(static_cast<std::uint32_t>(i));
            }
        } else {
            for (const std::uint32_t row : *shown[kind]) {
                if (row < list.size()) {
                    mark(row);
                }
            }
        }
    }
    return marks;
}

std::vector<NodeMark> nodeMarks(const PerKind<KindRowsSnapshot>& rows,
                                const PerKind<KindHighlights>& highlights) {
    std::vector<NodeMark> nodes;    // every node so far, marked or not
    std::vector<bool> highlighted;  // whether a node's highlight is decided
    std::unordered_map<std::int64_t, std::size_t> nodeOfPid;
    PerKind<std::size_t> next{};
    // The rows of every kind, merged in the order of their lines.
    for (;;) {
        std::optional<RowKind> kind;
        for (const RowKind k : kRowKinds) {
            if (next[k] < rows[k].size() &&
                (!kind || rows[k].placeOf(next[k]) < rows[*kind].placeOf(next[*kind]))) {
                kind = k;
            }
        }
        if (!kind) {
            break;
        }
        const std::size_t i = next[*kind]++;
        const RowView row = rows[*kind].rowView(i);
        if (*kind == RowKind::process) {
            nodeOfPid[row.pid] = nodes.size();
            NodeMark& node = nodes.emplace_back();
            node.place = rows[*kind].placeOf(i).value();
            node.pid = row.pid;
            highlighted.push_back(false);
        }
        const int rule = highlightOf(highlights[*kind], static_cast<std::uint32_t>(i));
        if (row.ruleHits == nullptr && rule < 0) {
            continue;
        }
        const auto node = nodeOfPid.find(row.pid);
        if (node == nodeOfPid.end()) {
            continue;  // no process row of its pid yet: no node to mark
        }
        NodeMark& mark = nodes[node->second];
        if (row.ruleHits != nullptr) {
            mark.level = higherLevel(mark.level, row.ruleHits->level);
            addRules(mark.rules, *row.ruleHits);
        }
        if (rule >= 0 && !highlighted[node->second]) {
            highlighted[node->second] = true;
            mark.highlight = rule;
        }
    }
    std::erase_if(nodes, [](const NodeMark& m) { return m.rules.empty() && m.highlight < 0; });
    return nodes;
}

std::string encodeNodeMarks(const std::vector<NodeMark>& marks) {
    std::string out = "[";
    for (const NodeMark& mark : marks) {
        if (out.size() > 1) {
            out.push_back(',');
        }
        out.push_back('[');
        appendDecimal(out, static_cast<std::int64_t>(mark.place));
        out.push_back(',');
        appendJsonString(out, ruleLevelName(mark.level), /*escapeSlash=*/false);
        out += ",[";
        for (std::size_t i = 0; i < mark.rules.size(); ++i) {
            if (i != 0) {
                out.push_back(',');
            }
            appendJsonString(out, mark.rules[i].second, /*escapeSlash=*/false);
        }
        out += "],";
        appendDecimal(out, static_cast<std::int64_t>(mark.highlight));
        out.push_back(']');
    }
    out.push_back(']');
    return out;
}

}  // namespace korvantis

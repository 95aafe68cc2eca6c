#include "describe/facts_card.h"

#include "rules/rule_hit_sets.h"

namespace korvantis {

namespace {

void appendLine(std::string& out, std::string_view label, std::string_view value) {
    if (!out.empty()) {
        out.push_back('\n');
    }
    out.append(label);
    out.append(": ");
    out.append(value);
}

// One line per detection rule the row matches: its title, level and
// description, as far as it has them.
void appendRuleLines(std::string& out, const RuleHitSet& hits) {
    for (std::size_t k = 0; k < hits.titles.size(); ++k) {
        std::string line = hits.titles[k];
        const RuleLevel level = k < hits.levels.size() ? hits.levels[k] : RuleLevel::none;
        if (level != RuleLevel::none) {
            line += " (" + std::string(ruleLevelName(level)) + ")";
        }
        if (k < hits.descriptions.size() && !hits.descriptions[k].empty()) {
            line += " \u2014 " + hits.descriptions[k];
        }
        appendLine(out, "Rule", line);
    }
}

}  // namespace

std::string factsCardText(const RowView& row, std::string_view run) {
    if (!row.facts.any()) {
        // The viewer's own records have no card, but for why rules flag them.
        std::string out;
        if (row.ruleHits != nullptr) {
            appendRuleLines(out, *row.ruleHits);
        }
        return out;
    }
    std::string out;
    appendLine(out, "Kind", row.type);
    appendLine(out, "Time", row.timestamp);
    std::string pid = std::to_string(row.pid);
    const std::string_view version = row.facts[Fact::pidversion];
    if (!version.empty()) {
        pid += " (version " + std::string(version) + ")";
    }
    appendLine(out, "PID", pid);
    if (row.hasPpid()) {
        appendLine(out, "PPID", std::to_string(row.ppid));
    }
    appendLine(out, "Path", row.path);
    for (std::size_t i = 0; i < kFactCount; ++i) {
        const auto fact = static_cast<Fact>(i);
        const std::string_view value = row.facts[fact];
        // The pid's version is already on the PID line.
        if (!value.empty() && fact != Fact::pidversion) {
            appendLine(out, kFactLabels[i], value);
        }
    }
    if (!run.empty()) {
        appendLine(out, row.kind == RowKind::process ? "Lifetime" : "Ends", run);
    }
    if (row.ruleHits != nullptr) {
        appendRuleLines(out, *row.ruleHits);
    }
    return out;
}

}  // namespace korvantis

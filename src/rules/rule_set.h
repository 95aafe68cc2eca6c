#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rules/rule_event.h"
#include "rules/sigma_rule.h"

namespace korvantis {

// What became of one document of a rule file: `FILE#N` and either the
// loaded rule's title or why it was skipped.
struct RuleEntry {
    std::string label;
    bool loaded = false;
    std::string text;  // the title, or the reason
    std::vector<std::string> neverPresent;
    // The report's line, without its line feed.
    std::string reportLine() const;
};

// The loaded rules in order, and an entry for every document read.
class RuleSet {
  public:
    std::vector<SigmaRule> rules;
    std::vector<RuleEntry> entries;

    bool empty() const { return rules.empty(); }
    // Whether some rule names ParentImage or ParentCommandLine: those are
    // tested only once lineage is known.
    bool anyLineage() const;
    // Appends to `hits` the index of every rule whose lineage use is
    // `lineage` that matches `event`, in rule order.
    void match(const RuleEvent& event, bool lineage, std::vector<std::uint32_t>& hits) const;
    // Whether some rule of `category` exists.
    bool hasCategory(RuleCategory category) const;
};

// The rule files `paths` name (files, or folders searched recursively for
// `.yml` and `.yaml`), in order. Nothing and `error` set when a path does
// not exist or cannot be read.
std::shared_ptr<RuleSet> loadRuleFiles(const std::vector<std::string>& paths, std::string& error);

// The documents of one rule file's text as entries labelled `label`, their
// rules appended to `set` (ids checked against the rules already there).
void loadRuleText(std::string_view text, const std::string& label, RuleSet& set);

}  // namespace korvantis

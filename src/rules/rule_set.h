#pragma once

#include <bitset>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "rules/compiled_rules.h"
#include "rules/rule_event.h"
#include "rules/sigma_rule.h"
#include "rules/text_hash.h"

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
    // Told apart from every other set made by this process, even one made
    // where a freed set was.
    std::uint64_t serial() const { return serial_; }
    // Whether some rule names ParentImage or ParentCommandLine.
    bool anyLineage() const { return parentImages_ || parentCommandLines_; }
    // The same for each of the two: what a log's lines need not tell the
    // lineage when no rule reads it.
    bool readsParentImage() const { return parentImages_; }
    bool readsParentCommandLine() const { return parentCommandLines_; }
    // Whether some rule reads `field` (or compares another field with it):
    // a row's event need not be given the others.
    bool readsField(RuleField field) const { return fieldsRead_[static_cast<std::size_t>(field)]; }
    // Appends to `hits` the index of every rule that matches `event` whatever
    // its lineage, and to `deferred` those whose answer waits for it, in rule
    // order.
    void matchWithoutLineage(const RuleEvent& event, std::vector<std::uint32_t>& hits,
                             std::vector<std::uint32_t>& deferred) const;
    // Whether rule `rule` holds for `event` (of its category, lineage
    // known).
    bool matches(std::uint32_t rule, const RuleEvent& event) const {
        return compiled_.evaluate(rule, event, true) == RuleCondition::kTrue;
    }
    // Whether some rule of `category` exists.
    bool hasCategory(RuleCategory category) const {
        return !byCategory_[static_cast<std::size_t>(category)].empty();
    }
    // Called once the rules are all there (loadRuleText does).
    void index();

  private:
    // Rules whose condition needs a path field's last component to be one
    // of a few names, or the field to end with one of a few texts, are only
    // tested on rows where it does: most rules name the programs or files
    // they are about, and a row is then looked up instead of tested by each.
    struct Gate {
        RuleField field;
        bool bySuffix = false;             // keys end the field, else are its last component
        std::vector<std::size_t> lengths;  // bySuffix: the keys' lengths, rising
        // The bytes a key starts with: most rows are told apart by the first
        // byte of the text a key would be, without hashing it.
        std::bitset<256> leads;
        // By key: the rules it lets through, and the items (shared numbers)
        // that hold wherever it is found.
        struct Listed {
            std::vector<std::uint32_t> rules;
            std::vector<std::uint32_t> holding;
        };
        std::unordered_map<std::string, Listed, TextHash, std::equal_to<>> byName;
    };
    struct Category {
        std::vector<std::uint32_t> ungated;
        std::vector<Gate> gates;
    };
    void noteFieldsRead(const FieldItem& item);
    std::vector<std::uint32_t> byCategory_[2];
    Category indexed_[2];
    CompiledRules compiled_;
    bool parentImages_ = false;
    bool parentCommandLines_ = false;
    std::bitset<kRuleFieldCount> fieldsRead_;
    std::uint64_t serial_ = nextSerial();
    static std::uint64_t nextSerial();
};

// The rule files `paths` name (files, or folders searched recursively for
// `.yml` and `.yaml`), in order. Nothing and `error` set when a path does
// not exist or cannot be read.
std::shared_ptr<RuleSet> loadRuleFiles(const std::vector<std::string>& paths, std::string& error);

// The same for one path, its rules appended to `set`; false and `error` set
// (and `set` as it was) when it does not exist or cannot be read.
bool addRuleFiles(const std::string& path, RuleSet& set, std::string& error);

// The documents of one rule file's text as entries labelled `label`, their
// rules appended to `set` (ids checked against the rules already there).
void loadRuleText(std::string_view text, const std::string& label, RuleSet& set);

// A rule file's text that comes from no file on disk (a bundled one), with
// the label its entries are shown with.
struct LabelledRuleText {
    std::string label;
    std::string text;
};
// The same for each of `texts` in turn, all parsed by one child: starting
// one costs more than parsing a rule file.
void addRuleTexts(const std::vector<LabelledRuleText>& texts, RuleSet& set);

}  // namespace korvantis

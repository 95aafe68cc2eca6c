#pragma once

#include <yaml-cpp/yaml.h>

#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rules/guarded_yaml.h"
#include "rules/sigma_rule.h"

namespace korvantis {

class RuleSet;

// One YAML document of a rule file, checked for what makes it unusable
// whatever it says: a repeated key, nesting beyond 64 levels, more nodes
// than a rule could need (aliases can make a small file walk without end).
struct RuleDocument {
    YAML::Node root;
    std::string unusable;  // why, or empty
};

// Reads the documents of rule files one after the other, all through one
// parsing child while none breaks its bounds.
class RuleDocumentReader {
  public:
    RuleDocumentReader();
    // The documents of `text` (valid UTF-8); false and why when the text
    // does not parse as YAML anywhere (an unknown tag included).
    bool read(std::string_view text, std::vector<RuleDocument>& documents, std::string& error);
    // The same in two steps, so that the next texts are parsed while the
    // documents of the earlier ones are compiled: receive() gives the
    // answers in the order the texts were sent.
    void send(std::string_view text);
    bool receive(std::vector<RuleDocument>& documents, std::string& error);
    bool wantsMore() const { return parser_.wantsMore(); }

  private:
    GuardedYamlParser parser_;
    // Per text sent and not yet received: why it was not handed to the
    // parser, or empty when it was.
    std::deque<std::string> refused_;
};

// The same for one file.
bool readRuleDocuments(std::string_view text, std::vector<RuleDocument>& documents,
                       std::string& error);

// The child program's side of readRuleDocuments() when the parsing child is
// a program started anew (see setYamlChildProgram()): what main() returns.
int answerRuleDocuments();
// For a program that reads rule files from threads, first thing in main():
// started as that child (`argv` is the program and kYamlChildArgument), it
// answers and gives what main() returns; else it makes this program, started
// anew, the parsing child (a process with threads must not fork one) and
// gives nothing.
std::optional<int> answerAsRuleChildOrBecomeItsParent(int argc, char** argv);

// The rule of `document`, or nothing and why it is skipped; `set` holds the
// rules loaded before it.
std::optional<SigmaRule> compileRule(const RuleDocument& document, const RuleSet& set,
                                     std::string& reason);

// How YAML 1.2's core schema reads a scalar.
enum class YamlType : std::uint8_t { null, boolean, integer, floating, string, collection };
YamlType yamlTypeOf(const YAML::Node& node);
// A scalar's text as a rule uses it: decimal integers without sign or
// leading zeros (`010` is 10), booleans as true or false.
std::string yamlText(const YAML::Node& node);

}  // namespace korvantis

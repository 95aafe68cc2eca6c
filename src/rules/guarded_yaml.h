#pragma once

#include <yaml-cpp/yaml.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace korvantis {

// yaml-cpp can loop while taking memory without end on a few bytes of
// malformed text, so a rule file is parsed in a child process bounded in
// time (1 s) and memory (64 MiB more than this process holds). The child
// checks each document with `check` (empty: usable, else why not) and sends
// back the usable ones, which are rebuilt here without parsing again.
struct GuardedDocument {
    YAML::Node root;
    std::string unusable;
};
using YamlDocumentCheck = std::function<std::string(const YAML::Node&)>;

// False and why when the text is not valid YAML, or parsing it took too long
// or too much memory.
bool parseYamlGuarded(std::string_view text, const YamlDocumentCheck& check,
                      std::vector<GuardedDocument>& out, std::string& error);

// A process with threads must not fork a child that does more than start
// another program: a lock another thread held at the fork stays held in the
// child. Once a program is set here (before threads start), the parsing
// child is that program started with `kYamlChildArgument`, which must then
// call answerYamlGuarded() with the same check; else this process forks.
inline constexpr const char* kYamlChildArgument = "--parse-rule-yaml";
void setYamlChildProgram(std::string path);
// The child program's side: parses standard input and writes the answer to
// standard output, bounded as above; what main() returns.
int answerYamlGuarded(const YamlDocumentCheck& check);

}  // namespace korvantis

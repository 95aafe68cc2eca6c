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

// Parses rule files one after the other in one child: starting a child
// costs more than parsing a rule file, and a folder holds many. Each file
// has the bounds to itself; a file that breaks them ends the child, and the
// next file gets a new one.
class GuardedYamlParser {
  public:
    explicit GuardedYamlParser(YamlDocumentCheck check);
    ~GuardedYamlParser();
    GuardedYamlParser(const GuardedYamlParser&) = delete;
    GuardedYamlParser& operator=(const GuardedYamlParser&) = delete;

    // False and why when the text is not valid YAML, or parsing it took too
    // long or too much memory.
    bool parse(std::string_view text, std::vector<GuardedDocument>& out, std::string& error);

  private:
    bool start(std::string& error);
    void end();
    // The answer to `request` (the text, framed); false when the child
    // could not take it or gave none in time.
    bool exchange(std::string_view request, std::string& answer);

    YamlDocumentCheck check_;
    int child_ = -1;   // its pid, or -1 while none runs
    int socket_ = -1;  // this side of the connection to it
};

// One file, in a child of its own.
bool parseYamlGuarded(std::string_view text, const YamlDocumentCheck& check,
                      std::vector<GuardedDocument>& out, std::string& error);

// A process with threads must not fork a child that does more than start
// another program: a lock another thread held at the fork stays held in the
// child. Once a program is set here (before threads start), the parsing
// child is that program started with `kYamlChildArgument`, which must then
// call answerYamlGuarded() with the same check; else this process forks.
inline constexpr const char* kYamlChildArgument = "--parse-rule-yaml";
void setYamlChildProgram(std::string path);
// The child program's side: parses each file sent on standard input and
// writes its answer to standard output, bounded as above, until standard
// input ends; what main() returns.
int answerYamlGuarded(const YamlDocumentCheck& check);

}  // namespace korvantis

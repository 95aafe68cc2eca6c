#pragma once

#include <yaml-cpp/yaml.h>

#include <deque>
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
// files sent after it go to a new one.
class GuardedYamlParser {
  public:
    explicit GuardedYamlParser(YamlDocumentCheck check);
    ~GuardedYamlParser();
    GuardedYamlParser(const GuardedYamlParser&) = delete;
    GuardedYamlParser& operator=(const GuardedYamlParser&) = delete;

    // Hands a text to the child ahead of its answer, so the child parses it
    // while this process works on the answers before it.
    void send(std::string_view text);
    // The documents of the earliest text sent and not yet answered; false
    // and why when it is not valid YAML, or parsing it took too long or too
    // much memory.
    bool receive(std::vector<GuardedDocument>& out, std::string& error);
    // Whether more texts may be sent before answers are received: a few
    // held at a time.
    bool wantsMore() const;

    bool parse(std::string_view text, std::vector<GuardedDocument>& out, std::string& error);

  private:
    bool start(std::string& error);
    void end();
    // Writes what the connection takes now of the texts not yet written.
    void writeSome();
    // The child's next answer; false when it ended or gave none in time.
    bool nextAnswer(std::string& answer);

    YamlDocumentCheck check_;
    int child_ = -1;   // its pid, or -1 while none runs
    int socket_ = -1;  // this side of the connection to it
    // The framed texts not yet answered, the earliest first; the first
    // `written_` of them are with the child, and `partial_` bytes of the
    // next one.
    std::deque<std::string> requests_;
    std::size_t requestBytes_ = 0;
    std::size_t written_ = 0;
    std::size_t partial_ = 0;
    bool writeFailed_ = false;  // the child took no more: it ended
    std::string received_;      // answers read and not yet taken
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

#pragma once

// What an eslogger message says about its row beyond the shown columns (the
// command line, the user, the signer, ...): "facts", each a text, empty when
// the message does not say. A row keeps its facts encoded in one text, so
// that rows of one process share one stored copy.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvantis {

enum class Fact : std::uint8_t {
    args,
    cwd,
    uid,
    pidversion,
    responsible_pid,
    signing_id,
    team_id,
    tty,
    platform,
    signing,
    process_path,
    summary,
};
inline constexpr std::size_t kFactCount = 12;
// The facts' names, as filter keys, export fields and settings know them.
inline constexpr std::array<std::string_view, kFactCount> kFactNames = {
    "args",    "cwd", "uid",      "pidversion", "responsible_pid", "signing_id",
    "team_id", "tty", "platform", "signing",    "process_path",    "summary",
};
// What the viewer calls them, as column titles and in the facts card.
inline constexpr std::array<std::string_view, kFactCount> kFactLabels = {
    "Args",    "CWD", "User",     "PID version", "Responsible PID", "Signing ID",
    "Team ID", "TTY", "Platform", "Signing",     "Process",         "Summary",
};
// The facts whose text is a decimal integer, matched by value.
inline constexpr bool isIntegerFact(Fact fact) {
    return fact == Fact::uid || fact == Fact::pidversion || fact == Fact::responsible_pid;
}
// The fact named `name` exactly, or -1.
int factNamed(std::string_view name);

// A fact keeps at most this many bytes of its text, then "…".
inline constexpr std::size_t kFactBytes = 4096;

// Appends `text` to `out`, cut as a fact is: beyond kFactBytes bytes, the
// first kFactBytes cut back to a whole UTF-8 character, then "…".
void appendCut(std::string& out, std::string_view text);

// Appends `word` as a POSIX shell reads it back: as it is when every byte is
// in [A-Za-z0-9_@%+=:,./-] and it is not empty, else in single quotes with
// each ' inside written as '\''.
void appendShellWord(std::string& out, std::string_view word);

// A row's facts read from their encoded form (made by RowFactsBuilder);
// nullptr means the row has none (the viewer's own records), which reads
// as all facts empty.
class RowFacts {
  public:
    RowFacts() = default;
    explicit RowFacts(const char* encoded) : encoded_(encoded) {}

    // Whether the row came from an eslogger message.
    bool any() const { return encoded_ != nullptr; }
    bool empty() const { return encoded_ == nullptr || present() == 0; }
    std::string_view operator[](Fact fact) const;
    // Every fact, in one walk over the encoded text: cheaper than asking
    // for several one by one, each of which walks it from its start.
    std::array<std::string_view, kFactCount> all() const;
    const char* encoded() const { return encoded_; }

  private:
    std::uint16_t present() const;
    const char* encoded_ = nullptr;
};

// Encodes facts: set those that are not empty, then take the text. The
// encoded text is a bit mask of the facts present (two bytes), then each
// present fact in order as a two-byte length and its bytes.
class RowFactsBuilder {
  public:
    void clear();
    // An empty text leaves the fact empty; encode() cuts long ones.
    void set(Fact fact, std::string_view text);
    // Where the fact's text goes, to be written in place; valid until the
    // next call.
    std::string& text(Fact fact) { return texts_[static_cast<std::size_t>(fact)]; }
    // The encoded facts (two bytes when all are empty); valid until the next
    // call.
    std::string_view encode();

  private:
    std::array<std::string, kFactCount> texts_;
    std::string encoded_;
};

}  // namespace korvantis

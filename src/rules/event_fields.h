#pragma once

// What rules see of a line, taken on the decoding thread from the message
// as already parsed, and kept compactly in the batch until the filing
// thread knows the row's lineage.

#include <simdjson.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "decode/row_facts.h"
#include "rules/rule_event.h"

namespace korvantis {

class RuleSet;

// The rule side of one line of a batch. Texts are offsets into the batch's
// RuleLines::text.
struct RuleLine {
    struct Ref {
        std::uint32_t offset = 0;
        std::uint32_t length = 0;
    };
    // pid → image pairs the line tells (its subject, and for eslogger the
    // message's own process when that is another pid).
    std::array<std::int64_t, 2> tellPid{};
    std::array<Ref, 2> tellImage{};
    std::uint8_t tells = 0;
    bool isExec = false;
    bool isFork = false;
    bool tested = false;  // of a category rules are tested on
    RuleCategory category = RuleCategory::processCreation;
    std::int64_t pid = 0;
    std::int64_t ppid = 0;
    Ref commandLine;              // of an exec, kept when lineage or a deferred rule reads it
    std::uint32_t hitsBegin = 0;  // in RuleLines::hits
    std::uint32_t hitsCount = 0;
    std::uint32_t deferredBegin = 0;  // in RuleLines::deferred: rules waiting for lineage
    std::uint32_t deferredCount = 0;
    // With rules deferred: the event's fields, kRuleFieldCount of them from
    // here in RuleLines::fields (ParentImage, ParentCommandLine left empty).
    // Most lines have none, so they are not kept in every line.
    std::uint32_t fieldsBegin = 0;
};

// A batch's rule lines.
struct RuleLines {
    std::string text;
    std::vector<RuleLine> lines;
    std::vector<std::uint32_t> hits;  // rule indices, per line in rule order
    std::vector<std::uint32_t> deferred;
    std::vector<RuleLine::Ref> fields;

    void clear() {
        text.clear();
        lines.clear();
        hits.clear();
        deferred.clear();
        fields.clear();
    }
    std::string_view resolve(RuleLine::Ref ref) const {
        return std::string_view(text).substr(ref.offset, ref.length);
    }
    RuleLine::Ref keep(std::string_view t) {
        const RuleLine::Ref ref{static_cast<std::uint32_t>(text.size()),
                                static_cast<std::uint32_t>(t.size())};
        text.append(t);
        return ref;
    }
};

// A message parsed only when it is first read.
class MessageOnDemand {
  public:
    virtual const simdjson::dom::element& message() = 0;

  protected:
    ~MessageOnDemand() = default;
};

// A decoded row as the decoding thread knows it.
struct DecodedRow {
    bool isProcess = false;  // a process row (else a file or other row)
    bool isOther = false;
    int kind = -1;  // the event's kind (see event_kinds.h), -1 for another
    std::string_view path;
    std::int64_t pid = 0;
    std::int64_t ppid = 0;
    RowFacts facts;
    std::string_view rawLine;
    // The parsed eslogger message, or one parsed when read (rules read a
    // file row's message only for a fact the row holds cut); neither for the
    // viewer's own records.
    const simdjson::dom::element* message = nullptr;
    MessageOnDemand* onDemand = nullptr;

    bool hasMessage() const { return message != nullptr || onDemand != nullptr; }
    const simdjson::dom::element& parsedMessage() const {
        return message != nullptr ? *message : onDemand->message();
    }
};

// Fills `event` from `line` (which must be tested) and its batch's texts;
// ParentImage and ParentCommandLine are left to the caller.
void ruleEventOf(const RuleLine& line, const RuleLines& lines, std::string_view rawLine,
                 RuleEvent& event);

// Reads the rule side of `row` into a new line of `lines`, and tests the
// rules of `rules` that need no lineage on it. `event` is scratch.
void readRuleLine(const DecodedRow& row, const RuleSet& rules, RuleLines& lines, RuleEvent& event);

// The CommandLine rules see in an eslogger exec message's line: its args
// joined with one blank; nothing when the line is no such message or its
// args are not all texts (the rules then see none).
std::optional<std::string> ruleCommandLine(std::string_view line);

}  // namespace korvantis

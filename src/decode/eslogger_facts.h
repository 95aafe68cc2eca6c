#pragma once

#include <simdjson.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "decode/eslogger_process.h"
#include "decode/row_facts.h"

namespace korvantis {

// Takes the facts of an eslogger message's row from the message as already
// parsed. The subject process is the exec's target, the fork's child, or
// else the message's own process. A member missing, null or of another type
// than a fact needs leaves that fact empty; no fact ever refuses a line.
class EsloggerFactsReader {
  public:
    // The encoded facts (see RowFacts), empty when all are; valid until the
    // next read. `exec` is an exec's body, null for other kinds; `summary`
    // is an other kind's summary.
    std::string_view read(const EsloggerProcess& subject, const simdjson::dom::object* exec,
                          std::string_view summary = {});

  private:
    void readSubject(const EsloggerProcess& subject);
    void readExec(const simdjson::dom::object& exec);

    RowFactsBuilder facts_;
};

// How a process is signed, from its codesigning_flags `flags` and whether
// it is a platform binary: "unsigned", "ad-hoc", "invalid", "platform" or
// "signed".
std::string_view signingStatus(std::int64_t flags, bool isPlatform);

// The whole command line of an eslogger exec message's line: its args, each
// quoted as the args fact quotes them, never cut. Nothing when the line is
// no exec message or its args are not all strings.
std::optional<std::string> execCommandLine(std::string_view line);

}  // namespace korvantis

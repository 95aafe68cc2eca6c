#pragma once

#include <simdjson.h>

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "ingest/first_members.h"
#include "ingest/row_facts.h"

namespace korvantis {

// The members of an eslogger process that its row and the row's facts read,
// found in one walk over the process.
class ProcessMembers {
  public:
    enum Key : std::size_t {
        auditToken,
        ppid,
        executable,
        responsibleToken,
        signingId,
        teamId,
        tty,
        platform,
        kKeys
    };
    explicit ProcessMembers(const simdjson::dom::object& process) : members_(process, kNames) {}
    // The member's value, or nothing when the process has no such member.
    const simdjson::dom::element* operator[](Key key) const { return members_[key]; }

  private:
    static constexpr std::array<std::string_view, kKeys> kNames = {
        "audit_token", "ppid",    "executable", "responsible_audit_token",
        "signing_id",  "team_id", "tty",        "is_platform_binary"};
    FirstMembers<kKeys> members_;
};

// Takes the facts of an eslogger message's row from the message as already
// parsed. The subject process (given by the caller) is the exec's target,
// the fork's child, or else the message's own process. A member missing, null or of another type
// than a fact needs leaves that fact empty; no fact ever refuses a line.
class EsloggerFactsReader {
  public:
    // The encoded facts (see RowFacts), empty when all are; valid until the
    // next read. `subject` holds the members of the subject process; `body`
    // is the member under "event", named `kind`; `summary` is an other
    // kind's summary.
    std::string_view read(const ProcessMembers& subject, std::string_view kind,
                          const simdjson::dom::element& body, std::string_view summary = {});

  private:
    void readSubject(const ProcessMembers& subject);
    void readExec(const simdjson::dom::object& exec);

    RowFactsBuilder facts_;
};

// The whole command line of an eslogger exec message's line: its args, each
// quoted as the args fact quotes them, never cut. Nothing when the line is
// no exec message or its args are not all strings.
std::optional<std::string> execCommandLine(std::string_view line);

}  // namespace korvantis

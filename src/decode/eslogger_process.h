#pragma once

#include <simdjson.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "decode/json_members.h"

namespace korvantis {

// The words of an audit token that rows and facts read, each present when it
// is an integer that fits a signed 64-bit integer. A token is an object, or
// on some macOS builds an array of exactly eight integers (euid is word 1,
// pid word 5, pidversion word 7).
struct AuditTokenWords {
    std::optional<std::int64_t> euid, pid, pidversion;
};
AuditTokenWords auditTokenWords(const simdjson::dom::element& token);

// The members of an eslogger process (es_process_t) that a row and its facts
// read, found in one walk over it: a message names two or three processes of
// some twenty members each, and the row and the facts read nine of them.
class EsloggerProcess {
  public:
    enum Member : std::size_t {
        audit_token,
        ppid,
        executable,
        responsible_audit_token,
        signing_id,
        team_id,
        tty,
        is_platform_binary,
        codesigning_flags,
        kMembers
    };

    explicit EsloggerProcess(const simdjson::dom::object& process) : members_(process, kKeys) {}

    // The member; false when the process has none.
    bool get(Member member, simdjson::dom::element& out) const { return members_.get(member, out); }
    // False also when the member is of another type.
    bool getObject(Member member, simdjson::dom::object& out) const;
    bool getString(Member member, std::string_view& out) const;
    bool getInt(Member member, std::int64_t& out) const;
    // `member.path`: `member` an object whose `path` is a string.
    bool getPath(Member member, std::string_view& out) const;
    // The words of `audit_token`, read once for the row and its facts.
    const AuditTokenWords& auditToken() const;

  private:
    static constexpr std::array<std::string_view, kMembers> kKeys = {
        "audit_token", "ppid", "executable",         "responsible_audit_token", "signing_id",
        "team_id",     "tty",  "is_platform_binary", "codesigning_flags"};
    JsonMembers<kMembers> members_;
    mutable std::optional<AuditTokenWords> auditToken_;
};

}  // namespace korvantis

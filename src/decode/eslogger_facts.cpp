#include "decode/eslogger_facts.h"

#include <cstdint>

#include "decode/decimal_text.h"
#include "decode/json_member_lookup.h"

namespace korvantis {

namespace {

using simdjson::dom::array;
using simdjson::dom::element;
using simdjson::dom::object;

void setNumber(RowFactsBuilder& facts, Fact fact, std::int64_t value) {
    facts.set(fact, DecimalText(value).view());
}

// The args of an exec, all strings, joined as a shell reads them back, up to
// `limit` bytes and a little more; false when they are not all strings.
bool appendCommandLine(const object& exec, std::string& line, std::size_t limit) {
    element value;
    array args;
    if (exec.at_key("args").get(value) || value.get_array().get(args)) {
        return false;
    }
    for (const element arg : args) {
        if (!arg.is_string()) {
            return false;
        }
    }
    bool first = true;
    for (const element arg : args) {
        if (!first) {
            line.push_back(' ');
        }
        first = false;
        appendShellWord(line, std::string_view(arg.get_string().value_unsafe()));
        if (line.size() > limit) {
            break;
        }
    }
    return true;
}

}  // namespace

std::string_view EsloggerFactsReader::read(const EsloggerProcess& subject, const object* exec,
                                           std::string_view summary) {
    facts_.clear();
    if (exec != nullptr) {
        readExec(*exec);
    }
    readSubject(subject);
    facts_.set(Fact::summary, summary);
    return facts_.encode();
}

void EsloggerFactsReader::readSubject(const EsloggerProcess& subject) {
    const AuditTokenWords& words = subject.auditToken();
    if (words.euid) {
        setNumber(facts_, Fact::uid, *words.euid);
    }
    if (words.pidversion) {
        setNumber(facts_, Fact::pidversion, *words.pidversion);
    }
    element token;
    if (subject.get(EsloggerProcess::responsible_audit_token, token)) {
        if (const AuditTokenWords words = auditTokenWords(token); words.pid) {
            setNumber(facts_, Fact::responsible_pid, *words.pid);
        }
    }
    std::string_view text;
    if (subject.getString(EsloggerProcess::signing_id, text)) {
        facts_.set(Fact::signing_id, text);
    }
    if (subject.getString(EsloggerProcess::team_id, text)) {
        facts_.set(Fact::team_id, text);
    }
    if (subject.getPath(EsloggerProcess::tty, text)) {
        facts_.set(Fact::tty, text);
    }
    if (subject.getPath(EsloggerProcess::executable, text)) {
        facts_.set(Fact::process_path, text);
    }
    element platform;
    bool isPlatform = false;
    if (subject.get(EsloggerProcess::is_platform_binary, platform) &&
        !platform.get_bool().get(isPlatform)) {
        facts_.set(Fact::platform, isPlatform ? "yes" : "no");
    }
    std::int64_t flags = 0;
    if (subject.getInt(EsloggerProcess::codesigning_flags, flags)) {
        facts_.set(Fact::signing, signingStatus(flags, isPlatform));
    }
}

void EsloggerFactsReader::readExec(const object& exec) {
    std::string_view text;
    object cwd;
    if (objectMember(exec, "cwd", cwd) && stringMember(cwd, "path", text)) {
        facts_.set(Fact::cwd, text);
    }
    // Past the cut, the rest would be thrown away.
    appendCommandLine(exec, facts_.text(Fact::args), kFactBytes);
}

std::string_view signingStatus(std::int64_t flags, bool isPlatform) {
    // The kernel's code signing flags: valid, ad-hoc and signed.
    constexpr std::int64_t kValid = 0x1;
    constexpr std::int64_t kAdhoc = 0x2;
    constexpr std::int64_t kSigned = 0x20000000;
    if ((flags & (kSigned | kAdhoc)) == 0) {
        return "unsigned";
    }
    if ((flags & kAdhoc) != 0) {
        return "ad-hoc";
    }
    if ((flags & kValid) == 0) {
        return "invalid";
    }
    return isPlatform ? "platform" : "signed";
}

std::optional<std::string> execCommandLine(std::string_view line) {
    simdjson::dom::parser parser;
    element root;
    object message, events, exec;
    if (parser.parse(simdjson::padded_string(line)).get(root) || root.get_object().get(message) ||
        !objectMember(message, "event", events) || !objectMember(events, "exec", exec)) {
        return std::nullopt;
    }
    std::string text;
    if (!appendCommandLine(exec, text, std::string::npos)) {
        return std::nullopt;
    }
    return text;
}

}  // namespace korvantis

#include "ingest/eslogger_facts.h"

#include <charconv>
#include <cstdint>

namespace korvantis {

namespace {

using simdjson::dom::array;
using simdjson::dom::element;
using simdjson::dom::object;

// Where a key occurs twice, the first occurrence is the one read.
bool objectMember(const object& obj, std::string_view key, object& out) {
    element value;
    return !obj.at_key(key).get(value) && !value.get_object().get(out);
}

bool stringMember(const object& obj, std::string_view key, std::string_view& out) {
    element value;
    return !obj.at_key(key).get(value) && !value.get_string().get(out);
}

// The places of a token's words when it is written as an array of eight.
enum TokenWord : std::size_t { kEuid = 1, kPid = 5, kPidversion = 7 };

// One word of `key`, an audit token given as an object (its member `name`)
// or as an array of eight integers (its word `at`).
bool tokenWord(const object& process, std::string_view key, std::string_view name, TokenWord at,
               std::int64_t& out) {
    element token, word;
    if (process.at_key(key).get(token)) {
        return false;
    }
    object fields;
    if (!token.get_object().get(fields)) {
        return !fields.at_key(name).get(word) && !word.get_int64().get(out);
    }
    array words;
    return !token.get_array().get(words) && words.size() == 8 && !words.at(at).get(word) &&
           !word.get_int64().get(out);
}

void setNumber(RowFactsBuilder& facts, Fact fact, std::int64_t value) {
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    (void)ec;  // 24 bytes always hold a 64-bit number
    facts.set(fact, std::string_view(digits, static_cast<std::size_t>(end - digits)));
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

std::string_view EsloggerFactsReader::read(const object& message, std::string_view kind,
                                           const element& body, std::string_view summary) {
    facts_.clear();
    object fields, subject;
    bool found = false;
    if (kind == "exec" || kind == "fork") {
        if (!body.get_object().get(fields)) {
            if (kind == "exec") {
                readExec(fields);
            }
            found = objectMember(fields, kind == "exec" ? "target" : "child", subject);
        }
    } else {
        found = objectMember(message, "process", subject);
    }
    if (found) {
        readSubject(subject);
    }
    facts_.set(Fact::summary, summary);
    return facts_.encode();
}

void EsloggerFactsReader::readSubject(const object& subject) {
    std::int64_t number = 0;
    if (tokenWord(subject, "audit_token", "euid", kEuid, number)) {
        setNumber(facts_, Fact::uid, number);
    }
    if (tokenWord(subject, "audit_token", "pidversion", kPidversion, number)) {
        setNumber(facts_, Fact::pidversion, number);
    }
    if (tokenWord(subject, "responsible_audit_token", "pid", kPid, number)) {
        setNumber(facts_, Fact::responsible_pid, number);
    }
    std::string_view text;
    if (stringMember(subject, "signing_id", text)) {
        facts_.set(Fact::signing_id, text);
    }
    if (stringMember(subject, "team_id", text)) {
        facts_.set(Fact::team_id, text);
    }
    object file;
    if (objectMember(subject, "tty", file) && stringMember(file, "path", text)) {
        facts_.set(Fact::tty, text);
    }
    if (objectMember(subject, "executable", file) && stringMember(file, "path", text)) {
        facts_.set(Fact::process_path, text);
    }
    element platform;
    bool isPlatform = false;
    if (!subject.at_key("is_platform_binary").get(platform) &&
        !platform.get_bool().get(isPlatform)) {
        facts_.set(Fact::platform, isPlatform ? "yes" : "no");
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

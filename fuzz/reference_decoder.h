#pragma once

// A plain, slow reference for decoding one log line, written straight from
// the record rules with a JSON reader of its own, so that the fuzzer can
// compare the real decoder with it; a line the record rules refuse is read by
// the eslogger rules. Where the rules leave a choice (a key given twice, an
// integral number written with a fraction or exponent, nesting beyond the
// parser's limit, an escaped lone surrogate) the verdict is "either".

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "decode/utf8_text.h"
#include "support/owned_record.h"

namespace korvantis::fuzz {

struct JsonValue {
    enum class Kind { null, boolean, number, string, array, object } kind = Kind::null;
    std::string text;               // a number's token, a string's decoded value
    std::vector<JsonValue> items;   // an array's elements, an object's values
    std::vector<std::string> keys;  // an object's keys, one per value
};

// Strict JSON (RFC 8259) of one value with optional whitespace around it.
class JsonReader {
  public:
    // The decoder's parser stops near 1024 levels; just where is its choice.
    static constexpr std::size_t kDepthLimit = 1000;

    explicit JsonReader(std::string_view text) : s_(text) {}

    // Nothing when the text is not JSON; `uncertain` is set when the reason
    // is one the rules leave open.
    std::optional<JsonValue> read(bool& uncertain) {
        if (!isValidUtf8(s_)) {
            return std::nullopt;
        }
        JsonValue v;
        skipSpace();
        if (!value(v, 1)) {
            uncertain = uncertain_;
            return std::nullopt;
        }
        skipSpace();
        if (i_ != s_.size()) {
            return std::nullopt;
        }
        uncertain = uncertain_;
        return v;
    }

  private:
    void skipSpace() {
        while (i_ < s_.size() &&
               (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r')) {
            ++i_;
        }
    }
    bool literal(std::string_view word) {
        if (s_.substr(i_, word.size()) != word) {
            return false;
        }
        i_ += word.size();
        return true;
    }
    bool value(JsonValue& v, std::size_t depth) {
        if (i_ >= s_.size()) {
            return false;
        }
        const char c = s_[i_];
        if (c == '{' || c == '[') {
            if (depth > kDepthLimit) {
                uncertain_ = true;
                return false;
            }
            ++i_;
            skipSpace();
            const bool object = c == '{';
            v.kind = object ? JsonValue::Kind::object : JsonValue::Kind::array;
            const char close = object ? '}' : ']';
            if (i_ < s_.size() && s_[i_] == close) {
                ++i_;
                return true;
            }
            while (true) {
                skipSpace();
                if (object) {
                    std::string key;
                    if (!string(key)) {
                        return false;
                    }
                    skipSpace();
                    if (i_ >= s_.size() || s_[i_] != ':') {
                        return false;
                    }
                    ++i_;
                    skipSpace();
                    v.keys.push_back(std::move(key));
                    v.items.emplace_back();
                    if (!value(v.items.back(), depth + 1)) {
                        return false;
                    }
                } else {
                    v.items.emplace_back();
                    if (!value(v.items.back(), depth + 1)) {
                        return false;
                    }
                }
                skipSpace();
                if (i_ < s_.size() && s_[i_] == ',') {
                    ++i_;
                    continue;
                }
                if (i_ < s_.size() && s_[i_] == close) {
                    ++i_;
                    return true;
                }
                return false;
            }
        }
        if (c == '"') {
            v.kind = JsonValue::Kind::string;
            return string(v.text);
        }
        if (c == 't' || c == 'f') {
            v.kind = JsonValue::Kind::boolean;
            v.text = c == 't' ? "true" : "false";
            return literal(v.text);
        }
        if (c == 'n') {
            v.kind = JsonValue::Kind::null;
            return literal("null");
        }
        v.kind = JsonValue::Kind::number;
        return number(v.text);
    }
    bool digits() {
        const std::size_t from = i_;
        while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') {
            ++i_;
        }
        return i_ > from;
    }
    bool number(std::string& token) {
        const std::size_t from = i_;
        if (i_ < s_.size() && s_[i_] == '-') {
            ++i_;
        }
        if (i_ < s_.size() && s_[i_] == '0') {
            ++i_;
        } else if (!digits()) {
            return false;
        }
        if (i_ < s_.size() && s_[i_] == '.') {
            ++i_;
            if (!digits()) {
                return false;
            }
        }
        if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
            ++i_;
            if (i_ < s_.size() && (s_[i_] == '+' || s_[i_] == '-')) {
                ++i_;
            }
            if (!digits()) {
                return false;
            }
        }
        token = std::string(s_.substr(from, i_ - from));
        return true;
    }
    bool hex4(unsigned& out) {
        if (i_ + 4 > s_.size()) {
            return false;
        }
        out = 0;
        for (int k = 0; k < 4; ++k) {
            const char h = s_[i_++];
            out <<= 4;
            if (h >= '0' && h <= '9') {
                out |= static_cast<unsigned>(h - '0');
            } else if (h >= 'a' && h <= 'f') {
                out |= static_cast<unsigned>(h - 'a' + 10);
            } else if (h >= 'A' && h <= 'F') {
                out |= static_cast<unsigned>(h - 'A' + 10);
            } else {
                return false;
            }
        }
        return true;
    }
    static void appendUtf8(std::string& out, unsigned cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xc0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3f));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xe0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (cp & 0x3f));
        } else {
            out += static_cast<char>(0xf0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3f));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (cp & 0x3f));
        }
    }
    bool string(std::string& out) {
        if (i_ >= s_.size() || s_[i_] != '"') {
            return false;
        }
        ++i_;
        while (i_ < s_.size()) {
            const unsigned char c = static_cast<unsigned char>(s_[i_++]);
            if (c == '"') {
                return true;
            }
            if (c < 0x20) {
                return false;
            }
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (i_ >= s_.size()) {
                return false;
            }
            const char e = s_[i_++];
            switch (e) {
                case '"':
                    out += '"';
                    break;
                case '\\':
                    out += '\\';
                    break;
                case '/':
                    out += '/';
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    unsigned cp = 0;
                    if (!hex4(cp)) {
                        return false;
                    }
                    if (cp >= 0xd800 && cp < 0xdc00) {
                        unsigned low = 0;
                        if (s_.substr(i_, 2) != "\\u" || (i_ += 2, !hex4(low)) || low < 0xdc00 ||
                            low >= 0xe000) {
                            uncertain_ = true;  // a lone high surrogate
                            return false;
                        }
                        cp = 0x10000 + ((cp - 0xd800) << 10) + (low - 0xdc00);
                    } else if (cp >= 0xdc00 && cp < 0xe000) {
                        uncertain_ = true;  // a lone low surrogate
                        return false;
                    }
                    appendUtf8(out, cp);
                    break;
                }
                default:
                    return false;
            }
        }
        return false;
    }

    std::string_view s_;
    std::size_t i_ = 0;
    bool uncertain_ = false;
};

enum class Verdict { accept, refuse, either };

struct ReferenceDecode {
    Verdict verdict = Verdict::refuse;
    ReceivedJson record;
};

namespace detail {

// The one member named `key`: nullptr when missing; `twice` when repeated.
inline const JsonValue* member(const JsonValue& obj, std::string_view key, bool& twice) {
    const JsonValue* found = nullptr;
    for (std::size_t i = 0; i < obj.keys.size(); ++i) {
        if (obj.keys[i] == key) {
            if (found) {
                twice = true;
            }
            found = &obj.items[i];
        }
    }
    return found;
}

// A required integer: refuse, accept (with `out`) or either.
inline Verdict integer(const JsonValue* v, std::int64_t& out) {
    if (!v || v->kind != JsonValue::Kind::number) {
        return Verdict::refuse;
    }
    const std::string& t = v->text;
    if (t.find_first_of(".eE") != std::string::npos) {
        // Integral values written so may go either way; others refuse.
        double d = 0;
        const auto r = std::from_chars(t.data(), t.data() + t.size(), d);
        if (r.ec != std::errc() || d != std::trunc(d) || d < -9.2233720368547758e18 ||
            d >= 9.2233720368547758e18) {
            return Verdict::refuse;
        }
        return Verdict::either;
    }
    const auto r = std::from_chars(t.data(), t.data() + t.size(), out);
    return r.ec == std::errc() && r.ptr == t.data() + t.size() ? Verdict::accept : Verdict::refuse;
}

inline Verdict combine(Verdict a, Verdict b) {
    if (a == Verdict::refuse || b == Verdict::refuse) {
        return Verdict::refuse;
    }
    return a == Verdict::either || b == Verdict::either ? Verdict::either : Verdict::accept;
}

inline Verdict requiredString(const JsonValue* v, std::string& out) {
    if (!v || v->kind != JsonValue::Kind::string) {
        return Verdict::refuse;
    }
    out = v->text;
    return Verdict::accept;
}

inline Verdict process(const JsonValue& v, Process& out, bool& twice) {
    if (v.kind != JsonValue::Kind::object) {
        return Verdict::refuse;
    }
    Verdict verdict = combine(integer(member(v, "pid", twice), out.pid),
                              integer(member(v, "ppid", twice), out.ppid));
    if (const JsonValue* path = member(v, "path", twice);
        path && path->kind != JsonValue::Kind::null) {
        verdict = combine(verdict, requiredString(path, out.path.emplace()));
    }
    return verdict;
}

// An optional part: missing or null leaves it absent.
template <typename T, typename F>
Verdict optionalPart(const JsonValue* v, std::optional<T>& out, F&& read) {
    if (!v || v->kind == JsonValue::Kind::null) {
        return Verdict::accept;
    }
    return read(*v, out.emplace());
}

// The eslogger rules, for a line the record rules refuse.
inline bool isObject(const JsonValue* v) {
    return v != nullptr && v->kind == JsonValue::Kind::object;
}

// A path or file name: a string member.
inline Verdict esPath(const JsonValue* obj, std::string_view key, std::string& out, bool& twice) {
    return isObject(obj) ? requiredString(member(*obj, key, twice), out) : Verdict::refuse;
}

inline Verdict esPid(const JsonValue* process, std::int64_t& pid, bool& twice) {
    if (!isObject(process)) {
        return Verdict::refuse;
    }
    const JsonValue* token = member(*process, "audit_token", twice);
    if (isObject(token)) {
        return integer(member(*token, "pid", twice), pid);
    }
    if (token != nullptr && token->kind == JsonValue::Kind::array && token->items.size() == 8) {
        return integer(&token->items[5], pid);
    }
    return Verdict::refuse;
}

inline std::string esJoin(const std::string& dir, const std::string& name) {
    return !dir.empty() && dir.back() == '/' ? dir + name : dir + "/" + name;
}

inline Verdict esloggerRow(const JsonValue& root, ReceivedJson& r, bool& twice);

// The facts of a row, read straight from their rules: a member that is
// missing, null or of another type leaves its fact empty.
inline bool factInteger(const JsonValue* v, std::string& out) {
    if (!v || v->kind != JsonValue::Kind::number ||
        v->text.find_first_of(".eE") != std::string::npos) {
        return false;
    }
    std::int64_t value = 0;
    const auto r = std::from_chars(v->text.data(), v->text.data() + v->text.size(), value);
    if (r.ec != std::errc() || r.ptr != v->text.data() + v->text.size()) {
        return false;
    }
    out = std::to_string(value);
    return true;
}

inline void factString(const JsonValue* v, std::string& out) {
    if (v && v->kind == JsonValue::Kind::string) {
        out = v->text;
    }
}

// Word `at` of an eight-word token, or its member `name`.
inline void tokenFact(const JsonValue* token, std::string_view name, std::size_t at,
                      std::string& out, bool& twice) {
    if (isObject(token)) {
        factInteger(member(*token, name, twice), out);
    } else if (token && token->kind == JsonValue::Kind::array && token->items.size() == 8) {
        factInteger(&token->items[at], out);
    }
}

inline std::string shellQuoted(const std::string& word) {
    bool plain = !word.empty();
    for (const char c : word) {
        plain =
            plain && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      std::string_view("_@%+=:,./-").find(c) != std::string_view::npos);
    }
    if (plain) {
        return word;
    }
    std::string out = "'";
    for (const char c : word) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

inline std::string cutFact(const std::string& text) {
    if (text.size() <= 4096) {
        return text;
    }
    std::size_t keep = 4096;
    while ((static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80) {
        --keep;
    }
    return text.substr(0, keep) + "\xE2\x80\xA6";
}

inline void esFacts(const JsonValue& root, const std::string& name, const JsonValue* body,
                    std::array<std::string, kFactCount>& facts, bool& twice) {
    auto fact = [&](Fact f) -> std::string& { return facts[static_cast<std::size_t>(f)]; };
    const JsonValue* subject = name == "exec"   ? member(*body, "target", twice)
                               : name == "fork" ? member(*body, "child", twice)
                                                : member(root, "process", twice);
    if (isObject(subject)) {
        tokenFact(member(*subject, "audit_token", twice), "euid", 1, fact(Fact::uid), twice);
        tokenFact(member(*subject, "audit_token", twice), "pidversion", 7, fact(Fact::pidversion),
                  twice);
        tokenFact(member(*subject, "responsible_audit_token", twice), "pid", 5,
                  fact(Fact::responsible_pid), twice);
        factString(member(*subject, "signing_id", twice), fact(Fact::signing_id));
        factString(member(*subject, "team_id", twice), fact(Fact::team_id));
        for (const auto& [key, f] :
             {std::pair{"tty", Fact::tty}, std::pair{"executable", Fact::process_path}}) {
            const JsonValue* file = member(*subject, key, twice);
            if (isObject(file)) {
                factString(member(*file, "path", twice), fact(f));
            }
        }
        const JsonValue* platform = member(*subject, "is_platform_binary", twice);
        if (platform && platform->kind == JsonValue::Kind::boolean) {
            fact(Fact::platform) = platform->text == "true" ? "yes" : "no";
        }
        // Signing, from the flags' valid (0x1), ad-hoc (0x2) and signed
        // (0x20000000) bits.
        std::string flagsText;
        if (factInteger(member(*subject, "codesigning_flags", twice), flagsText)) {
            const long long flags = std::stoll(flagsText);
            const bool isPlatform =
                platform && platform->kind == JsonValue::Kind::boolean && platform->text == "true";
            fact(Fact::signing) = (flags & 0x20000002) == 0 ? "unsigned"
                                  : (flags & 0x2) != 0      ? "ad-hoc"
                                  : (flags & 0x1) == 0      ? "invalid"
                                  : isPlatform              ? "platform"
                                                            : "signed";
        }
    }
    if (name == "exec") {
        const JsonValue* cwd = member(*body, "cwd", twice);
        if (isObject(cwd)) {
            factString(member(*cwd, "path", twice), fact(Fact::cwd));
        }
        const JsonValue* args = member(*body, "args", twice);
        bool strings = args && args->kind == JsonValue::Kind::array;
        for (std::size_t i = 0; strings && i < args->items.size(); ++i) {
            strings = args->items[i].kind == JsonValue::Kind::string;
        }
        for (std::size_t i = 0; strings && i < args->items.size(); ++i) {
            fact(Fact::args) += (i > 0 ? " " : "") + shellQuoted(args->items[i].text);
        }
    }
    for (std::string& text : facts) {
        text = cutFact(text);
    }
}

// The first string under a "path" member, depth first, in written order.
inline bool esFirstPath(const JsonValue& v, std::string& out) {
    for (std::size_t i = 0; i < v.items.size(); ++i) {
        if (v.kind == JsonValue::Kind::object && v.keys[i] == "path" &&
            v.items[i].kind == JsonValue::Kind::string) {
            out = v.items[i].text;
            return true;
        }
        if (esFirstPath(v.items[i], out)) {
            return true;
        }
    }
    return false;
}

// An other kind's summary: exit's wait status, else the first path.
inline Verdict esSummary(const std::string& name, const JsonValue& body, std::string& out,
                         bool& twice) {
    if (!isObject(&body)) {
        return Verdict::accept;
    }
    if (name != "exit") {
        esFirstPath(body, out);
        return Verdict::accept;
    }
    std::int64_t stat = 0;
    const Verdict v = integer(member(body, "stat", twice), stat);
    if (v != Verdict::accept) {
        return v == Verdict::refuse ? Verdict::accept : v;
    }
    const std::uint64_t bits = static_cast<std::uint64_t>(stat);
    const std::uint64_t low = bits % 128, code = bits / 256 % 256;
    out = low == 0     ? "exit " + std::to_string(code)
          : low == 127 ? "stopped " + std::to_string(code)
                       : "signal " + std::to_string(low) + (bits / 128 % 2 ? " (core dumped)" : "");
    return Verdict::accept;
}

// A kind outside the nine is listed as an other row when its process gives
// a pid and an integer ppid; its facts are then those of that process.
inline Verdict esOther(const JsonValue& root, ReceivedJson& r, bool& twice) {
    const JsonValue* process = member(root, "process", twice);
    const JsonValue* event = member(root, "event", twice);
    Process p;
    const Verdict pid = esPid(process, p.pid, twice);
    const Verdict ppid =
        pid == Verdict::refuse ? pid : integer(member(*process, "ppid", twice), p.ppid);
    if (ppid == Verdict::refuse) {
        return Verdict::accept;
    }
    std::string& path = p.path.emplace();
    const JsonValue* executable = member(*process, "executable", twice);
    if (isObject(executable)) {
        const JsonValue* text = member(*executable, "path", twice);
        if (text != nullptr && text->kind == JsonValue::Kind::string) {
            path = text->text;
        }
    }
    r.other = p;
    esFacts(root, event->keys[0], &event->items[0], r.facts, twice);
    std::string summary;
    const Verdict v = esSummary(event->keys[0], event->items[0], summary, twice);
    r.facts[static_cast<std::size_t>(Fact::summary)] = cutFact(summary);
    return combine(combine(pid, ppid), v);
}

inline Verdict esloggerDecode(const JsonValue& root, ReceivedJson& r, bool& twice) {
    const Verdict v = esloggerRow(root, r, twice);
    const JsonValue* event = member(root, "event", twice);
    if (v != Verdict::refuse && (r.process || r.file) && isObject(event)) {
        esFacts(root, event->keys[0], &event->items[0], r.facts, twice);
    }
    if (v != Verdict::refuse && r.storedOnly && isObject(event)) {
        return combine(v, esOther(root, r, twice));
    }
    return v;
}

inline Verdict esloggerRow(const JsonValue& root, ReceivedJson& r, bool& twice) {
    const JsonValue* event = member(root, "event", twice);
    const JsonValue* process = member(root, "process", twice);
    if (!isObject(event) || event->keys.size() != 1 || !isObject(process)) {
        return Verdict::refuse;
    }
    const std::string& name = event->keys[0];
    const JsonValue* body = &event->items[0];
    Verdict v = requiredString(member(root, "time", twice), r.timestamp);
    r.event = "ES_EVENT_TYPE_NOTIFY_";
    std::string lowered;
    for (const char c : name) {
        r.event += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        lowered += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    // Another spelling of one of the nine kinds is no such kind: it keeps
    // its spelling beside the type. The nine are written out here on
    // purpose, not read from the program's list of kinds: a kind dropped
    // from or misspelt in that list must show up as a difference.
    constexpr std::string_view kNine[] = {"exec",   "fork", "open",   "close", "write",
                                          "rename", "link", "unlink", "create"};
    if (lowered != name &&
        std::find(std::begin(kNine), std::end(kNine), lowered) != std::end(kNine)) {
        r.event += " (as \"" + name + "\")";
    }
    if (name == "exec" || name == "fork") {
        if (!isObject(body)) {
            return Verdict::refuse;
        }
        const JsonValue* subject = member(*body, name == "exec" ? "target" : "child", twice);
        Process& p = r.process.emplace();
        v = combine(v, esPid(subject, p.pid, twice));
        if (!isObject(subject)) {
            return Verdict::refuse;
        }
        v = combine(v, integer(member(*subject, "ppid", twice), p.ppid));
        std::string& path = p.path.emplace();
        const JsonValue* executable = member(*subject, "executable", twice);
        if (executable == nullptr || executable->kind == JsonValue::Kind::null) {
            return v;
        }
        if (!isObject(executable)) {
            return Verdict::refuse;
        }
        const JsonValue* text = member(*executable, "path", twice);
        if (text == nullptr || text->kind == JsonValue::Kind::null) {
            return v;
        }
        return combine(v, requiredString(text, path));
    }
    const bool file = name == "open" || name == "close" || name == "write" || name == "unlink" ||
                      name == "rename" || name == "create" || name == "link";
    if (!file) {
        r.storedOnly = true;
        return v;
    }
    if (!isObject(body)) {
        return Verdict::refuse;
    }
    File& f = r.file.emplace();
    v = combine(v, esPid(process, f.pid, twice));
    if (name == "open") {
        return combine(v, esPath(member(*body, "file", twice), "path", f.destination, twice));
    }
    if (name == "close" || name == "write" || name == "unlink") {
        return combine(v, esPath(member(*body, "target", twice), "path", f.destination, twice));
    }
    std::string dir, fileName;
    if (name == "link") {
        v = combine(v, esPath(member(*body, "target_dir", twice), "path", dir, twice));
        v = combine(v, requiredString(member(*body, "target_filename", twice), fileName));
    } else {
        std::int64_t type = -1;
        v = combine(v, integer(member(*body, "destination_type", twice), type));
        const JsonValue* destination = member(*body, "destination", twice);
        if (!isObject(destination) || v == Verdict::refuse) {
            return Verdict::refuse;
        }
        if (v == Verdict::either) {
            return v;  // which destination is read is not known
        }
        if (type == 0) {
            return combine(v, esPath(member(*destination, "existing_file", twice), "path",
                                     f.destination, twice));
        }
        const JsonValue* newPath = member(*destination, "new_path", twice);
        if (type != 1 || !isObject(newPath)) {
            return Verdict::refuse;
        }
        v = combine(v, esPath(member(*newPath, "dir", twice), "path", dir, twice));
        v = combine(v, requiredString(member(*newPath, "filename", twice), fileName));
    }
    f.destination = esJoin(dir, fileName);
    return v;
}

}  // namespace detail

inline ReferenceDecode referenceDecode(std::string_view line) {
    using namespace detail;
    ReferenceDecode result;
    bool uncertain = false;
    const std::optional<JsonValue> root = JsonReader(line).read(uncertain);
    if (!root) {
        result.verdict = uncertain ? Verdict::either : Verdict::refuse;
        return result;
    }
    if (root->kind != JsonValue::Kind::object) {
        return result;
    }
    bool twice = false;
    ReceivedJson& r = result.record;
    Verdict v = combine(requiredString(member(*root, "event", twice), r.event),
                        requiredString(member(*root, "timestamp", twice), r.timestamp));
    v = combine(
        v, optionalPart(member(*root, "process", twice), r.process,
                        [&](const JsonValue& p, Process& out) { return process(p, out, twice); }));
    v = combine(
        v, optionalPart(
               member(*root, "fileOld", twice), r.fileOld, [&](const JsonValue& f, FileOld& out) {
                   if (f.kind != JsonValue::Kind::object) {
                       return Verdict::refuse;
                   }
                   return combine(optionalPart(member(f, "process", twice), out.process,
                                               [&](const JsonValue& p, Process& o) {
                                                   return process(p, o, twice);
                                               }),
                                  requiredString(member(f, "destination", twice), out.destination));
               }));
    v = combine(
        v, optionalPart(member(*root, "file", twice), r.file, [&](const JsonValue& f, File& out) {
            if (f.kind != JsonValue::Kind::object) {
                return Verdict::refuse;
            }
            return combine(integer(member(f, "pid", twice), out.pid),
                           requiredString(member(f, "destination", twice), out.destination));
        }));
    // Which of two equal keys counts is left open.
    result.verdict = twice ? Verdict::either : v;
    if (result.verdict == Verdict::refuse) {
        // Not a record: perhaps an eslogger message.
        bool esTwice = false;
        result.record = ReceivedJson{};
        const Verdict es = esloggerDecode(*root, result.record, esTwice);
        result.verdict = esTwice ? Verdict::either : es;
    }
    return result;
}

}  // namespace korvantis::fuzz

#include "load/top_process_scan.h"

#include <cstring>
#include <optional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace korvantis {

namespace {

using Outcome = TopProcessScan::Outcome;

// The text of a JSON string as written between its quotes, unescaped; false
// for an escape that is not read here (the line is then parsed).
bool unescape(std::string_view raw, std::string& out) {
    out.clear();
    auto hex4 = [&](std::size_t at, std::uint32_t& value) {
        if (at + 4 > raw.size()) {
            return false;
        }
        value = 0;
        for (std::size_t i = at; i < at + 4; ++i) {
            const char c = raw[i];
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
            if (digit < 0) {
                return false;
            }
            value = value << 4 | static_cast<std::uint32_t>(digit);
        }
        return true;
    };
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\') {
            out.push_back(raw[i]);
            continue;
        }
        if (++i == raw.size()) {
            return false;
        }
        switch (raw[i]) {
            case '"':
            case '\\':
            case '/':
                out.push_back(raw[i]);
                break;
            case 'b':
                out.push_back('\b');
                break;
            case 'f':
                out.push_back('\f');
                break;
            case 'n':
                out.push_back('\n');
                break;
            case 'r':
                out.push_back('\r');
                break;
            case 't':
                out.push_back('\t');
                break;
            case 'u': {
                std::uint32_t code = 0;
                if (!hex4(i + 1, code)) {
                    return false;
                }
                i += 4;
                if (code >= 0xDC00 && code <= 0xDFFF) {
                    return false;  // a lone low surrogate
                }
                if (code >= 0xD800 && code <= 0xDBFF) {
                    std::uint32_t low = 0;
                    if (i + 2 >= raw.size() || raw[i + 1] != '\\' || raw[i + 2] != 'u' ||
                        !hex4(i + 3, low) || low < 0xDC00 || low > 0xDFFF) {
                        return false;
                    }
                    i += 6;
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                }
                if (code < 0x80) {
                    out.push_back(static_cast<char>(code));
                } else if (code < 0x800) {
                    out.push_back(static_cast<char>(0xC0 | code >> 6));
                    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
                } else if (code < 0x10000) {
                    out.push_back(static_cast<char>(0xE0 | code >> 12));
                    out.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
                    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
                } else {
                    out.push_back(static_cast<char>(0xF0 | code >> 18));
                    out.push_back(static_cast<char>(0x80 | (code >> 12 & 0x3F)));
                    out.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
                    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
                }
                break;
            }
            default:
                return false;
        }
    }
    return true;
}

// The first of `p` .. `end` that is one of `Chars`, or `end`. Most of a
// walk is spent looking for the next quote or bracket: sixteen bytes are
// looked at a time where the processor can.
template <char... Chars>
const char* findAny(const char* p, const char* end) {
#if defined(__SSE2__)
    while (end - p >= 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        __m128i hit = _mm_setzero_si128();
        ((hit = _mm_or_si128(hit, _mm_cmpeq_epi8(block, _mm_set1_epi8(Chars)))), ...);
        const int mask = _mm_movemask_epi8(hit);
        if (mask != 0) {
            return p + __builtin_ctz(static_cast<unsigned>(mask));
        }
        p += 16;
    }
#endif
    while (p < end && ((*p != Chars) && ...)) {
        ++p;
    }
    return p;
}

// What a member's reader does with the rest of its object.
enum class Step : std::uint8_t {
    skip,  // the value was not read: skip it, go on
    next,  // the value was read: go on
    stop,  // the value was read, the other members are not wanted
};

// A walk over a JSON text known to be valid: it finds where values end and
// reads the few it is asked for, it does not check the text. Any surprise
// makes it fail (the line is then parsed instead).
class JsonWalk {
  public:
    explicit JsonWalk(std::string_view text) : at_(text.data()), end_(text.data() + text.size()) {}

    bool failed() const { return failed_; }
    // The next character after white space, 0 at the end.
    char peek() {
        while (at_ < end_ && (*at_ == ' ' || *at_ == '\t' || *at_ == '\n' || *at_ == '\r')) {
            ++at_;
        }
        return at_ < end_ ? *at_ : '\0';
    }
    // A string's text between its quotes, as written.
    bool rawString(std::string_view& raw, bool& escaped) {
        if (peek() != '"') {
            return fail();
        }
        const char* start = ++at_;
        escaped = false;
        while ((at_ = findAny<'"', '\\'>(at_, end_)) < end_) {
            if (*at_ == '"') {
                raw = std::string_view(start, static_cast<std::size_t>(at_ - start));
                ++at_;
                return true;
            }
            if (end_ - at_ < 2) {
                break;
            }
            escaped = true;
            at_ += 2;
        }
        return fail();
    }
    // A string's text, unescaped into `scratch` when it must be.
    bool string(std::string_view& text, std::string& scratch) {
        bool escaped = false;
        if (!rawString(text, escaped)) {
            return false;
        }
        if (escaped) {
            if (!unescape(text, scratch)) {
                return fail();
            }
            text = scratch;
        }
        return true;
    }
    // A number, true, false or null, as written.
    std::string_view scalar() {
        peek();
        const char* start = at_;
        while (at_ < end_ && *at_ != ',' && *at_ != '}' && *at_ != ']' && *at_ != ' ' &&
               *at_ != '\t' && *at_ != '\n' && *at_ != '\r') {
            ++at_;
        }
        return std::string_view(start, static_cast<std::size_t>(at_ - start));
    }
    bool skipValue() {
        const char c = peek();
        std::string_view raw;
        bool escaped = false;
        if (c == '"') {
            return rawString(raw, escaped);
        }
        if (c != '{' && c != '[') {
            return !scalar().empty() || fail();
        }
        return skipContainer();
    }
    // The object or array that starts at the next character. Containers
    // are most of what is skipped (a process's file stats, its other
    // tokens): with SSE2, sixty-four bytes at a time, strings found as a
    // JSON parser finds them (quotes not escaped by an odd run of
    // backslashes), only brackets outside them counted.
    bool skipContainer() {
        int depth = 0;
#if defined(__SSE2__)
        std::uint64_t escapedBefore = 0;   // 1: the last block ended in an odd run of backslashes
        std::uint64_t inStringBefore = 0;  // all ones: the last block ended inside a string
        const std::size_t size = static_cast<std::size_t>(end_ - at_);
        for (std::size_t from = 0; from < size; from += 64) {
            char tail[64];
            const char* block = at_ + from;
            if (size - from < 64) {
                std::memset(tail, ' ', sizeof tail);
                std::memcpy(tail, block, size - from);
                block = tail;
            }
            __m128i parts[4];
            for (int i = 0; i < 4; ++i) {
                parts[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i));
            }
            auto bitsOf = [&](char c) {
                const __m128i wanted = _mm_set1_epi8(c);
                std::uint64_t bits = 0;
                for (int i = 0; i < 4; ++i) {
                    bits |= std::uint64_t{static_cast<std::uint16_t>(
                                _mm_movemask_epi8(_mm_cmpeq_epi8(parts[i], wanted)))}
                            << (16 * i);
                }
                return bits;
            };
            // The characters escaped by a backslash: those after an odd run.
            std::uint64_t backslash = bitsOf('\\') & ~escapedBefore;
            const std::uint64_t followsEscape = backslash << 1 | escapedBefore;
            constexpr std::uint64_t kEvenBits = 0x5555555555555555ULL;
            const std::uint64_t oddStarts = backslash & ~kEvenBits & ~followsEscape;
            std::uint64_t evenStarts = 0;
            escapedBefore = __builtin_add_overflow(oddStarts, backslash, &evenStarts) ? 1 : 0;
            const std::uint64_t escaped = (kEvenBits ^ (evenStarts << 1)) & followsEscape;
            // Inside a string: from an opening quote up to its closing one.
            std::uint64_t inString = bitsOf('"') & ~escaped;
            for (int shift = 1; shift < 64; shift *= 2) {
                inString ^= inString << shift;
            }
            inString ^= inStringBefore;
            inStringBefore = static_cast<std::uint64_t>(static_cast<std::int64_t>(inString) >> 63);
            const std::uint64_t open = (bitsOf('{') | bitsOf('[')) & ~inString;
            std::uint64_t brackets = open | ((bitsOf('}') | bitsOf(']')) & ~inString);
            while (brackets != 0) {
                const int at = __builtin_ctzll(brackets);
                if ((open >> at & 1) != 0) {
                    ++depth;
                } else if (--depth == 0) {
                    at_ += from + static_cast<std::size_t>(at) + 1;
                    return true;
                }
                brackets &= brackets - 1;
            }
        }
        return fail();
#else
        std::string_view raw;
        bool escaped = false;
        while ((at_ = findAny<'"', '{', '}', '[', ']'>(at_, end_)) < end_) {
            const char d = *at_;
            if (d == '"') {
                if (!rawString(raw, escaped)) {
                    return false;
                }
                continue;
            }
            ++at_;
            if (d == '{' || d == '[') {
                ++depth;
            } else if (--depth == 0) {
                return true;
            }
        }
        return fail();
#endif
    }
    // Walks the members of the object that comes next, giving each key to
    // `member`, which reads the value or says to skip it. After Step::stop
    // the rest is skipped to the object's end, or left unread with `leave`.
    template <typename Member>
    bool members(Member&& member, bool leave = false) {
        if (peek() != '{') {
            return fail();
        }
        ++at_;
        if (peek() == '}') {
            ++at_;
            return true;
        }
        bool wanted = true;
        std::string keyScratch;
        while (true) {
            std::string_view key;
            if (!string(key, keyScratch) || peek() != ':') {
                return fail();
            }
            ++at_;
            const Step step = wanted ? member(key) : Step::skip;
            if (failed_ || (step == Step::skip && !skipValue())) {
                return fail();
            }
            if (step == Step::stop) {
                if (leave) {
                    return true;
                }
                wanted = false;
            }
            const char c = peek();
            if (c == '\0') {
                return fail();
            }
            ++at_;
            if (c == '}') {
                return true;
            }
            if (c != ',') {
                return fail();
            }
        }
    }
    // The elements of the array that comes next, each given to `element`
    // with its index, which reads it or returns false to have it skipped.
    template <typename Element>
    bool elements(Element&& element) {
        if (peek() != '[') {
            return fail();
        }
        ++at_;
        if (peek() == ']') {
            ++at_;
            return true;
        }
        for (std::size_t i = 0;; ++i) {
            if (!element(i) && !skipValue()) {
                return fail();
            }
            if (failed_) {
                return false;
            }
            const char c = peek();
            if (c == '\0') {
                return fail();
            }
            ++at_;
            if (c == ']') {
                return true;
            }
            if (c != ',') {
                return fail();
            }
        }
    }
    // An integer read as the message's parser reads one into a signed
    // 64-bit integer: nothing for another type; unsure (a failure) for a
    // number this walk leaves to the parser (a fraction, an exponent, -0, or
    // one near the edges of the range).
    std::optional<std::int64_t> integer() {
        const char c = peek();
        if (c != '-' && (c < '0' || c > '9')) {
            skipValue();
            return std::nullopt;
        }
        const std::string_view text = scalar();
        const bool negative = text[0] == '-';
        const std::string_view digits = text.substr(negative ? 1 : 0);
        if (digits.empty() || digits.size() > 18 || (digits[0] == '0' && text.size() > 1)) {
            fail();
            return std::nullopt;
        }
        std::int64_t value = 0;
        for (const char d : digits) {
            if (d < '0' || d > '9') {
                fail();
                return std::nullopt;
            }
            value = value * 10 + (d - '0');
        }
        return negative ? -value : value;
    }

  private:
    bool fail() {
        failed_ = true;
        return false;
    }
    const char* at_;
    const char* end_;
    bool failed_ = false;
};

// The pid of an audit token: an object's `pid`, or word 5 of an array of
// exactly eight.
std::optional<std::int64_t> tokenPid(JsonWalk& walk) {
    std::optional<std::int64_t> pid;
    const char c = walk.peek();
    if (c == '{') {
        walk.members([&](std::string_view key) {
            if (key != "pid") {
                return Step::skip;
            }
            pid = walk.integer();
            return Step::stop;
        });
        return pid;
    }
    if (c == '[') {
        std::size_t count = 0;
        walk.elements([&](std::size_t i) {
            count = i + 1;
            if (i != 5) {
                return false;
            }
            pid = walk.integer();
            return true;
        });
        return count == 8 ? pid : std::nullopt;
    }
    walk.skipValue();
    return std::nullopt;
}

// An executable's `path`, when it is an object whose path is a string.
std::string_view executablePath(JsonWalk& walk, std::string& scratch) {
    std::string_view path;
    if (walk.peek() != '{') {
        walk.skipValue();
        return path;
    }
    walk.members([&](std::string_view key) {
        if (key != "path") {
            return Step::skip;
        }
        if (walk.peek() == '"') {
            walk.string(path, scratch);
        } else {
            walk.skipValue();
        }
        return Step::stop;
    });
    return path;
}

}  // namespace

TopProcessScan scanTopProcess(std::string_view line, std::string& scratch) {
    TopProcessScan out;
    JsonWalk walk(line);
    std::optional<std::int64_t> pid;
    bool isObject = false;
    // The first `process` member is the one read, as a parser's look-up
    // finds it; likewise its first `audit_token` and `executable`.
    const bool walked = walk.members(
        [&](std::string_view key) {
            if (key != "process") {
                return Step::skip;
            }
            if (walk.peek() != '{') {
                walk.skipValue();
                return Step::stop;
            }
            isObject = true;
            bool token = false, executable = false;
            walk.members([&](std::string_view member) {
                if (!token && member == "audit_token") {
                    token = true;
                    pid = tokenPid(walk);
                } else if (!executable && member == "executable") {
                    executable = true;
                    out.path = executablePath(walk, scratch);
                } else {
                    return Step::skip;
                }
                return token && executable ? Step::stop : Step::next;
            });
            return Step::stop;
        },
        true);
    if (!walked || walk.failed()) {
        return TopProcessScan{};
    }
    out.outcome = isObject && pid ? Outcome::found : Outcome::none;
    out.pid = pid.value_or(0);
    if (out.outcome == Outcome::none) {
        out.path = {};
    }
    return out;
}

}  // namespace korvantis

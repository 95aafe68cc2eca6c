#include "decode/line_decoder.h"

#include "decode/eslogger_record.h"

#include <simdjson.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace korvantis {

static_assert(LineDecoder::kPadding >= simdjson::SIMDJSON_PADDING,
              "lines handed to simdjson need its padding");

namespace {

using simdjson::dom::element;
using simdjson::dom::object;

// The rules of one record, applied to a parsed DOM. Every reader returns false
// when the line must be refused. Unlisted keys are skipped; a key that occurs
// twice is read from its first occurrence (later ones are ignored like
// unlisted keys).

bool isNull(const element& value) {
    return value.type() == simdjson::dom::element_type::NULL_VALUE;
}

bool readString(const element& value, std::string_view& out) {
    return !value.get_string().get(out);
}

bool readInt(const element& value, std::int64_t& out) {
    // INT64 values and UINT64 values that fit; a UINT64 beyond INT64_MAX
    // (NUMBER_OUT_OF_RANGE) and any DOUBLE (INCORRECT_TYPE) refuse.
    return !value.get_int64().get(out);
}

// A listed key is read where it first occurs; later occurrences are ignored
// like unlisted keys.
class Once {
  public:
    template <typename Read>
    bool operator()(Read&& read) {
        if (seen_) {
            return true;
        }
        seen_ = true;
        return read();
    }
    bool seen() const { return seen_; }

  private:
    bool seen_ = false;
};

// An optional member: null leaves it absent; any other value must decode.
template <typename T, typename Read>
bool readOptional(const element& value, std::optional<T>& out, Read read) {
    return isNull(value) || read(value, out.emplace());
}

bool readProcess(const element& value, ProcessView& out) {
    object obj;
    if (value.get_object().get(obj)) {
        return false;
    }
    Once pid, ppid, path;
    for (auto field : obj) {
        const std::string_view key = field.key;
        const element& v = field.value;
        const bool ok = key == "pid"    ? pid([&] { return readInt(v, out.pid); })
                        : key == "ppid" ? ppid([&] { return readInt(v, out.ppid); })
                        : key == "path"
                            ? path([&] { return readOptional(v, out.path, readString); })
                            : true;
        if (!ok) {
            return false;
        }
    }
    return pid.seen() && ppid.seen();
}

bool readFileOld(const element& value, FileOldView& out) {
    object obj;
    if (value.get_object().get(obj)) {
        return false;
    }
    Once process, destination;
    for (auto field : obj) {
        const std::string_view key = field.key;
        const element& v = field.value;
        const bool ok =
            key == "process" ? process([&] { return readOptional(v, out.process, readProcess); })
            : key == "destination" ? destination([&] { return readString(v, out.destination); })
                                   : true;
        if (!ok) {
            return false;
        }
    }
    return destination.seen();
}

bool readFile(const element& value, FileView& out) {
    object obj;
    if (value.get_object().get(obj)) {
        return false;
    }
    Once pid, destination;
    for (auto field : obj) {
        const std::string_view key = field.key;
        const element& v = field.value;
        const bool ok = key == "pid" ? pid([&] { return readInt(v, out.pid); })
                        : key == "destination"
                            ? destination([&] { return readString(v, out.destination); })
                            : true;
        if (!ok) {
            return false;
        }
    }
    return pid.seen() && destination.seen();
}

// Whether `root` is an object whose first key is "event".
bool startsWithEvent(const element& root) {
    object obj;
    if (root.get_object().get(obj)) {
        return false;
    }
    const auto first = obj.begin();
    return first != obj.end() && first.key() == "event";
}

bool readRecord(const element& root, ReceivedJsonView& out) {
    object obj;
    if (root.get_object().get(obj)) {
        return false;
    }
    Once event, timestamp, process, fileOld, file;
    for (auto field : obj) {
        const std::string_view key = field.key;
        const element& v = field.value;
        const bool ok =
            key == "event"       ? event([&] { return readString(v, out.event); })
            : key == "timestamp" ? timestamp([&] { return readString(v, out.timestamp); })
            : key == "process" ? process([&] { return readOptional(v, out.process, readProcess); })
            : key == "fileOld" ? fileOld([&] { return readOptional(v, out.fileOld, readFileOld); })
            : key == "file"    ? file([&] { return readOptional(v, out.file, readFile); })
                               : true;
        if (!ok) {
            return false;
        }
    }
    return event.seen() && timestamp.seen();
}

// The two-character escape of `c`, or an empty view when it has none.
inline std::string_view simpleEscape(unsigned char c) {
    switch (c) {
        case '\\':
            return "\\\\";
        case '"':
            return "\\\"";
        case '\'':
            return "\\'";
        case '\0':
            return "\\0";
        case '\n':
            return "\\n";
        case '\r':
            return "\\r";
        case '\t':
            return "\\t";
        default:
            return {};
    }
}

// A control character as \u{X}: lower-case hex, no leading zeros.
void appendControl(std::string& out, unsigned code) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += "\\u{";
    if (code >= 0x10) {
        out.push_back(kHex[code >> 4]);
    }
    out.push_back(kHex[code & 0xf]);
    out.push_back('}');
}

// Record text form: Swift's debug description of the record.
void appendQuoted(std::string& out, std::string_view text) {
    out.push_back('"');
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (const std::string_view escape = simpleEscape(c); !escape.empty()) {
            out += escape;
        } else if (c < 0x20 || c == 0x7f) {
            appendControl(out, c);
        } else if (c == 0xc2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9f) {
            // C1 control characters, U+0080 to U+009F.
            appendControl(out, static_cast<unsigned char>(text[i + 1]));
            ++i;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    out.push_back('"');
}

void appendInt(std::string& out, std::int64_t value) {
    out += std::to_string(value);
}

template <typename T, typename F>
void appendOptional(std::string& out, const std::optional<T>& value, F&& appendValue) {
    if (!value) {
        out += "nil";
        return;
    }
    out += "Optional(";
    appendValue(*value);
    out.push_back(')');
}

template <typename P>
void appendProcess(std::string& out, const P& p) {
    out += "Korvantis.Process(pid: ";
    appendInt(out, p.pid);
    out += ", ppid: ";
    appendInt(out, p.ppid);
    out += ", path: ";
    appendOptional(out, p.path, [&](std::string_view s) { appendQuoted(out, s); });
    out.push_back(')');
}

template <typename R>
std::string recordTextOf(const R& r) {
    std::string out = "ReceivedJson(event: ";
    appendQuoted(out, r.event);
    out += ", timestamp: ";
    appendQuoted(out, r.timestamp);
    out += ", process: ";
    appendOptional(out, r.process, [&](const auto& p) { appendProcess(out, p); });
    out += ", fileOld: ";
    appendOptional(out, r.fileOld, [&](const auto& f) {
        out += "Korvantis.FileOld(process: ";
        appendOptional(out, f.process, [&](const auto& p) { appendProcess(out, p); });
        out += ", destination: ";
        appendQuoted(out, f.destination);
        out.push_back(')');
    });
    out += ", file: ";
    appendOptional(out, r.file, [&](const auto& f) {
        out += "Korvantis.File(pid: ";
        appendInt(out, f.pid);
        out += ", destination: ";
        appendQuoted(out, f.destination);
        out.push_back(')');
    });
    out.push_back(')');
    return out;
}

// A JSON number token at text[i]: its length when it follows the JSON
// grammar, 0 otherwise; `integral` tells whether it has neither fraction nor
// exponent.
std::size_t numberToken(std::string_view text, std::size_t i, bool& integral) {
    const std::size_t begin = i;
    auto digits = [&] {
        const std::size_t from = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            ++i;
        }
        return i - from;
    };
    if (i < text.size() && text[i] == '-') {
        ++i;
    }
    if (i < text.size() && text[i] == '0') {
        ++i;
    } else if (digits() == 0) {
        return 0;
    }
    integral = true;
    if (i < text.size() && text[i] == '.') {
        ++i;
        integral = false;
        if (digits() == 0) {
            return 0;
        }
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        integral = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            ++i;
        }
        if (digits() == 0) {
            return 0;
        }
    }
    return i - begin;
}

// simdjson refuses numbers beyond what 64-bit integers and doubles hold, even
// under keys the record ignores, where any valid JSON number is fine. Such a
// line is parsed again with every fractional number, every integer of 20 or
// more digits and every integer below -2^63 replaced by 0.0: ignored keys
// then parse, and a record field holding one still refuses (a fraction is
// not an integer, and the others do not fit a signed 64-bit integer). False
// when nothing was replaced, or when a number is malformed (the line is no
// JSON then anyway).
bool patchLargeNumbers(std::string_view line, std::vector<char>& out) {
    out.clear();
    bool replaced = false;
    for (std::size_t i = 0; i < line.size();) {
        const char c = line[i];
        if (c == '"') {
            const std::size_t from = i++;
            while (i < line.size() && line[i] != '"') {
                i += line[i] == '\\' ? 2 : 1;
            }
            i = std::min(i + 1, line.size());
            out.insert(out.end(), line.begin() + from, line.begin() + i);
            continue;
        }
        if (c == '-' || (c >= '0' && c <= '9')) {
            bool integral = false;
            const std::size_t length = numberToken(line, i, integral);
            // Outside strings, valid JSON has a whole number token wherever a
            // minus or a digit stands, ending where no number character
            // follows. Anything else is not JSON: replacing a part of it
            // could make it so ("--1.5" or "1-1.5" would become "-0.0" or
            // "10.0").
            if (length == 0 || (i + length < line.size() &&
                                std::string_view("0123456789+-.eE").find(line[i + length]) !=
                                    std::string_view::npos)) {
                return false;
            }
            const std::size_t digits = length - (c == '-' ? 1 : 0);
            // Below -9223372036854775808 no 64-bit integer holds it either.
            const bool belowInt64 =
                c == '-' && digits == 19 && line.substr(i + 1, 19) > "9223372036854775808";
            if (!integral || digits >= 20 || belowInt64) {
                constexpr std::string_view kZero = "0.0";
                out.insert(out.end(), kZero.begin(), kZero.end());
                replaced = true;
            } else {
                out.insert(out.end(), line.begin() + i, line.begin() + i + length);
            }
            i += length;
            continue;
        }
        out.push_back(c);
        ++i;
    }
    return replaced;
}

}  // namespace

struct LineDecoder::Impl {
    simdjson::dom::parser parser;
    std::vector<char> scratch;  // padded copy for decode()
    std::vector<char> patched;  // a line with its large numbers replaced
    EsloggerRecordReader eslogger;
    element root;
    bool parsed = false;
};

LineDecoder::LineDecoder() : impl_(std::make_unique<Impl>()) {}
LineDecoder::~LineDecoder() = default;

std::optional<ReceivedJsonView> LineDecoder::decode(std::string_view line) {
    if (impl_->scratch.size() < line.size() + kPadding) {
        impl_->scratch.resize(line.size() + kPadding);
    }
    if (!line.empty()) {
        std::memcpy(impl_->scratch.data(), line.data(), line.size());
    }
    return decodePadded(impl_->scratch.data(), line.size());
}

std::optional<ReceivedJsonView> LineDecoder::decodePadded(const char* data, std::size_t len) {
    // Parses the whole line strictly (any malformed part refuses it, even in
    // keys that are ignored afterwards), then reads the record's fields.
    impl_->eslogger.forgetSequenceNumber();
    impl_->parsed = false;
    element& root = impl_->root;
    auto error = impl_->parser.parse(data, len, false).get(root);
    if (error == simdjson::NUMBER_ERROR) {
        std::vector<char>& patched = impl_->patched;
        if (!patchLargeNumbers(std::string_view(data, len), patched)) {
            return std::nullopt;
        }
        const std::size_t patchedLen = patched.size();
        patched.resize(patchedLen + kPadding);
        error = impl_->parser.parse(patched.data(), patchedLen, false).get(root);
    }
    // The parser's room for a line that could not be had is no fault of the
    // line's: the load stops rather than refuse it.
    if (error == simdjson::MEMALLOC) {
        throw std::bad_alloc();
    }
    if (error) {
        return std::nullopt;
    }
    impl_->parsed = true;
    // The two shapes exclude each other ("event" is a string in one, an
    // object in the other), so the order in which the readers are asked
    // changes no answer. A record of the viewer's own starts with "event";
    // an eslogger message does not, and the record reader would walk its
    // long members in vain.
    ReceivedJsonView view;
    if (startsWithEvent(root)) {
        if (readRecord(root, view)) {
            return view;
        }
        view = {};
        return impl_->eslogger.read(root, view) ? std::optional(view) : std::nullopt;
    }
    if (impl_->eslogger.read(root, view)) {
        return view;
    }
    view = {};
    return readRecord(root, view) ? std::optional(view) : std::nullopt;
}

std::int64_t LineDecoder::sequenceNumber() const {
    return impl_->eslogger.sequenceNumber();
}

const simdjson::dom::element* LineDecoder::document() const {
    return impl_->parsed ? &impl_->root : nullptr;
}

std::string recordText(const ReceivedJsonView& record) {
    return recordTextOf(record);
}

}  // namespace korvantis

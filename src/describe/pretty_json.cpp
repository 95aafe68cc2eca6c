// The readable form of an event's raw line, as the detail area shows it.
//
// Choices where there is no single obvious form: an empty object or array is
// written "{}" or "[]"; a number that parses as a double but is integral and
// within +-2^53 is written as an integer ("1e2" -> "100", "1.0" -> "1", "-0.0"
// -> "-0"), any other double in its shortest round-trip form ("0.1",
// "1e+300"); non-ASCII characters are written as themselves; every member of
// a repeated key is kept, so the readable form never hides the copy that the
// lists do not use; a text whose top level is not an object or an
// array is returned unchanged, and so is a text nested deeper than the parser
// allows, and one whose readable form would be more than sixteen times its
// size (plus a megabyte): indenting every level by two more spaces makes a line of nested
// arrays grow with the square of its depth, and a few hundred kilobytes of
// "[[[[...]]]]" would otherwise become gigabytes of detail text.

#include "describe/pretty_json.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include <simdjson.h>

#include "decode/json_text.h"

namespace korvantis {

namespace {

constexpr std::size_t kMaxGrowth = 16;
constexpr std::size_t kMaxExtra = std::size_t{1} << 20;

using simdjson::dom::element;
using simdjson::dom::element_type;

void appendNumber(std::string& out, element v) {
    char buf[32];
    std::to_chars_result r{};
    switch (v.type()) {
        case element_type::INT64:
            r = std::to_chars(buf, buf + sizeof buf, int64_t(v));
            break;
        case element_type::UINT64:
            r = std::to_chars(buf, buf + sizeof buf, uint64_t(v));
            break;
        default: {
            const double d = double(v);
            constexpr double kExact = 9007199254740992.0;  // 2^53
            if (d == 0.0 && std::signbit(d)) {
                out += "-0";
                return;
            }
            if (std::fabs(d) <= kExact && d == std::trunc(d)) {
                r = std::to_chars(buf, buf + sizeof buf, static_cast<std::int64_t>(d));
            } else {
                r = std::to_chars(buf, buf + sizeof buf, d);
            }
        }
    }
    out.append(buf, r.ptr);
}

constexpr std::size_t kMaxKeyPathBytes = 120;

// One open container: its members (keys empty for an array), sorted by key
// for an object, and the next one to write.
struct Frame {
    bool object;
    std::vector<std::pair<std::string_view, element>> items;
    std::size_t next = 0;
};

// The path of the member being written in each open container, then `key`;
// long paths are cut, at a character boundary.
std::string keyPath(const std::vector<Frame>& stack, std::string_view key) {
    std::string path;
    for (const Frame& f : stack) {
        if (f.object) {
            path += path.empty() ? "" : ".";
            path += f.items[f.next - 1].first;
        } else {
            path += "[" + std::to_string(f.next - 1) + "]";
        }
    }
    path += path.empty() ? "" : ".";
    path += key;
    if (path.size() > kMaxKeyPathBytes) {
        std::size_t cut = kMaxKeyPathBytes;
        while (cut > 0 && (static_cast<unsigned char>(path[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        path.resize(cut);
        path += "\xe2\x80\xa6";  // …
    }
    return path;
}

// Notes the keys that the sorted members of `object` repeat, in the order of
// their first member.
void noteRepeatedKeys(const std::vector<Frame>& stack, const Frame& sorted,
                      simdjson::dom::object object, ReadableJson& out) {
    std::vector<std::string_view> repeated;
    for (std::size_t i = 1; i < sorted.items.size(); ++i) {
        const std::string_view key = sorted.items[i].first;
        if (key == sorted.items[i - 1].first && (repeated.empty() || repeated.back() != key)) {
            repeated.push_back(key);
        }
    }
    if (repeated.empty()) {
        return;
    }
    std::sort(repeated.begin(), repeated.end());
    for (auto kv : object) {
        const auto it = std::lower_bound(repeated.begin(), repeated.end(), kv.key);
        if (it == repeated.end() || *it != kv.key) {
            continue;
        }
        repeated.erase(it);
        if (++out.repeatedKeyCount <= ReadableJson::kMaxListedKeys) {
            out.repeatedKeys.push_back(keyPath(stack, kv.key));
        }
    }
}

void indent(std::string& out, std::size_t depth) {
    out.append(depth * 2, ' ');
}

// Writes a scalar, or opens a container (pushing a frame) and writes its
// opening bracket; empty containers are written whole.
void begin(ReadableJson& readable, element v, std::vector<Frame>& stack) {
    std::string& out = readable.text;
    switch (v.type()) {
        case element_type::OBJECT: {
            Frame f{true, {}, 0};
            for (auto kv : simdjson::dom::object(v)) {
                f.items.emplace_back(kv.key, kv.value);
            }
            if (f.items.empty()) {
                out += "{}";
                return;
            }
            std::stable_sort(f.items.begin(), f.items.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
            noteRepeatedKeys(stack, f, simdjson::dom::object(v), readable);
            out += "{\n";
            stack.push_back(std::move(f));
            return;
        }
        case element_type::ARRAY: {
            Frame f{false, {}, 0};
            for (element e : simdjson::dom::array(v)) {
                f.items.emplace_back(std::string_view{}, e);
            }
            if (f.items.empty()) {
                out += "[]";
                return;
            }
            out += "[\n";
            stack.push_back(std::move(f));
            return;
        }
        case element_type::STRING:
            appendJsonString(out, std::string_view(v), /*escapeSlash=*/true);
            return;
        case element_type::BOOL:
            out += bool(v) ? "true" : "false";
            return;
        case element_type::NULL_VALUE:
            out += "null";
            return;
        default:
            appendNumber(out, v);
    }
}

}  // namespace

namespace {

ReadableJson unchanged(std::string_view text) {
    ReadableJson r;
    r.text = std::string(text);
    return r;
}

// `padded`: the text's buffer goes on for at least SIMDJSON_PADDING bytes, so
// the parser reads it in place instead of copying it.
ReadableJson readableFrom(std::string_view text, bool padded, simdjson::dom::parser& parser) {
    element root;
    if (parser.parse(text.data(), text.size(), !padded).get(root) != simdjson::SUCCESS) {
        return unchanged(text);
    }
    if (root.type() != element_type::OBJECT && root.type() != element_type::ARRAY) {
        return unchanged(text);
    }

    ReadableJson readable;
    std::string& out = readable.text;
    out.reserve(text.size() + text.size() / 4);
    const std::size_t limit = kMaxGrowth * text.size() + kMaxExtra;
    std::vector<Frame> stack;
    begin(readable, root, stack);
    while (!stack.empty()) {
        if (out.size() > limit) {
            return unchanged(text);
        }
        Frame& top = stack.back();
        const std::size_t depth = stack.size();
        if (top.next == top.items.size()) {
            out.push_back('\n');
            indent(out, depth - 1);
            out.push_back(top.object ? '}' : ']');
            stack.pop_back();
            continue;
        }
        if (top.next > 0) {
            out += ",\n";
        }
        indent(out, depth);
        const auto [key, value] = top.items[top.next++];
        if (top.object) {
            appendJsonString(out, key, /*escapeSlash=*/true);
            out += " : ";
        }
        // `top` may dangle once begin() pushes; it is not used after this.
        begin(readable, value, stack);
    }
    return readable;
}

// Past this a line gets a parser of its own, freed with it: the parser of
// the thread keeps the largest buffers it ever needed.
constexpr std::size_t kSharedParserBytes = std::size_t{1} << 20;

}  // namespace

namespace {

ReadableJson readable(std::string_view text, bool padded) {
    if (text.size() > kSharedParserBytes) {
        simdjson::dom::parser own;
        return readableFrom(text, padded, own);
    }
    thread_local simdjson::dom::parser parser;
    return readableFrom(text, padded, parser);
}

}  // namespace

ReadableJson readableJson(std::string_view text) {
    return readable(text, false);
}

ReadableJson readableLine(std::string line) {
    line.reserve(line.size() + simdjson::SIMDJSON_PADDING);
    return readable(line, true);
}

std::string prettyPrintedJson(std::string_view text) {
    return readableJson(text).text;
}

}  // namespace korvantis

// The readable form of an event's raw line, as the detail area shows it.
//
// Choices where there is no single obvious form: an empty object or array is
// written "{}" or "[]"; a number that parses as a double but is integral and
// within +-2^53 is written as an integer ("1e2" -> "100", "1.0" -> "1", "-0.0"
// -> "-0"), any other double in its shortest round-trip form ("0.1",
// "1e+300"); non-ASCII characters are written as themselves; of duplicate
// keys the last one counts; a text whose top level is not an object or an
// array is returned unchanged, and so is a text nested deeper than the parser
// allows, and one whose readable form would be more than sixteen times its
// size (plus a megabyte): indenting every level by two more spaces makes a line of nested
// arrays grow with the square of its depth, and a few hundred kilobytes of
// "[[[[...]]]]" would otherwise become gigabytes of detail text.

#include "store/pretty_json.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include <simdjson.h>

#include "ingest/json_text.h"

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

// One open container: its members (keys empty for an array), sorted and
// deduplicated for an object, and the next one to write.
struct Frame {
    bool object;
    std::vector<std::pair<std::string_view, element>> items;
    std::size_t next = 0;
};

void indent(std::string& out, std::size_t depth) {
    out.append(depth * 2, ' ');
}

// Writes a scalar, or opens a container (pushing a frame) and writes its
// opening bracket; empty containers are written whole.
void begin(std::string& out, element v, std::vector<Frame>& stack) {
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
            // Like a dictionary, the last of equal keys wins.
            std::size_t kept = 0;
            for (std::size_t i = 0; i < f.items.size(); ++i) {
                if (i + 1 < f.items.size() && f.items[i + 1].first == f.items[i].first) {
                    continue;
                }
                f.items[kept++] = f.items[i];
            }
            f.items.resize(kept);
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

std::string prettyPrintedJson(std::string_view text) {
    thread_local simdjson::dom::parser parser;
    element root;
    if (parser.parse(text.data(), text.size()).get(root) != simdjson::SUCCESS) {
        return std::string(text);
    }
    if (root.type() != element_type::OBJECT && root.type() != element_type::ARRAY) {
        return std::string(text);
    }

    std::string out;
    out.reserve(text.size() * 2);
    const std::size_t limit = kMaxGrowth * text.size() + kMaxExtra;
    std::vector<Frame> stack;
    begin(out, root, stack);
    while (!stack.empty()) {
        if (out.size() > limit) {
            return std::string(text);
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
        begin(out, value, stack);
    }
    return out;
}

}  // namespace korvantis

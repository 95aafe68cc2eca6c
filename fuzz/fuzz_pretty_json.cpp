// Readable JSON: any text either comes back unchanged or as JSON that holds
// the same value (keys sorted), and re-formatting that output changes nothing.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include <simdjson.h>

#include "describe/pretty_json.h"
#include "fuzz_support.h"

using namespace korvantis;
namespace dom = simdjson::dom;

namespace {

enum class Same { yes, no, unknown };

bool asNumber(dom::element e, double& out) {
    switch (e.type()) {
        case dom::element_type::INT64:
            out = static_cast<double>(e.get_int64().value());
            return true;
        case dom::element_type::UINT64:
            out = static_cast<double>(e.get_uint64().value());
            return true;
        case dom::element_type::DOUBLE:
            out = e.get_double().value();
            return true;
        default:
            return false;
    }
}

// Objects as lists of members ordered by key.
Same sameValue(dom::element a, dom::element b) {
    double x = 0;
    double y = 0;
    if (asNumber(a, x)) {
        if (!asNumber(b, y)) {
            return Same::no;
        }
        if (a.type() != dom::element_type::DOUBLE && b.type() != dom::element_type::DOUBLE) {
            // Integers must come back exactly.
            return a.type() == b.type() && (a.type() == dom::element_type::INT64
                                                ? a.get_int64().value() == b.get_int64().value()
                                                : a.get_uint64().value() == b.get_uint64().value())
                       ? Same::yes
                       : (x == y ? Same::yes : Same::no);
        }
        return (x == y || std::fabs(x - y) <= 1e-12 * std::fabs(x)) ? Same::yes : Same::no;
    }
    if (a.type() != b.type()) {
        return Same::no;
    }
    switch (a.type()) {
        case dom::element_type::STRING:
            return a.get_string().value() == b.get_string().value() ? Same::yes : Same::no;
        case dom::element_type::BOOL:
            return a.get_bool().value() == b.get_bool().value() ? Same::yes : Same::no;
        case dom::element_type::NULL_VALUE:
            return Same::yes;
        case dom::element_type::ARRAY: {
            dom::array l = a.get_array().value();
            dom::array r = b.get_array().value();
            if (l.size() != r.size()) {
                return Same::no;
            }
            Same result = Same::yes;
            for (auto li = l.begin(), ri = r.begin(); li != l.end(); ++li, ++ri) {
                const Same s = sameValue(*li, *ri);
                if (s == Same::no) {
                    return s;
                }
                if (s == Same::unknown) {
                    result = s;
                }
            }
            return result;
        }
        case dom::element_type::OBJECT: {
            // Members sorted by key, those of a repeated key in written
            // order: the writer keeps every one, in that order.
            using Members = std::vector<std::pair<std::string_view, dom::element>>;
            Members l;
            Members r;
            // Named, not temporaries: value() hands out a reference into its result.
            const dom::object lo = a.get_object().value();
            const dom::object ro = b.get_object().value();
            for (auto kv : lo) {
                l.emplace_back(kv.key, kv.value);
            }
            for (auto kv : ro) {
                r.emplace_back(kv.key, kv.value);
            }
            if (l.size() != r.size()) {
                return Same::no;
            }
            const auto byKey = [](const auto& x, const auto& y) { return x.first < y.first; };
            std::stable_sort(l.begin(), l.end(), byKey);
            if (!std::is_sorted(r.begin(), r.end(), byKey)) {
                return Same::no;  // the writer sorts keys
            }
            Same result = Same::yes;
            for (auto li = l.begin(), ri = r.begin(); li != l.end(); ++li, ++ri) {
                if (li->first != ri->first) {
                    return Same::no;
                }
                const Same s = sameValue(li->second, ri->second);
                if (s == Same::no) {
                    return s;
                }
                if (s == Same::unknown) {
                    result = s;
                }
            }
            return result;
        }
        default:
            return Same::no;
    }
}

// Every number token outside strings follows the JSON number grammar.
bool numbersAreJson(std::string_view text) {
    static const std::regex kNumber(R"(-?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?)");
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            std::size_t end = i;
            while (end < text.size() &&
                   std::string_view("+-.eE0123456789").find(text[end]) != std::string_view::npos) {
                ++end;
            }
            if (!std::regex_match(text.begin() + i, text.begin() + end, kNumber)) {
                return false;
            }
            i = end - 1;
        }
    }
    return true;
}

// The text with each number token "-0" written as "0".
std::string withoutNegativeZero(std::string_view text) {
    std::string out;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') {
                out += c;
                ++i;
                if (i < text.size()) {
                    out += text[i];
                }
                continue;
            }
            inString = c != '"';
        } else if (c == '"') {
            inString = true;
        } else if (c == '-' && i + 1 < text.size() && text[i + 1] == '0' &&
                   (i + 2 == text.size() || std::string_view(".eE0123456789").find(text[i + 2]) ==
                                                std::string_view::npos)) {
            continue;
        }
        out += c;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::asText(data, size);
    const std::string out = prettyPrintedJson(text);

    // Deep enough for anything a fuzz input can nest, so that the limit of
    // this check is never the reason for a difference.
    static dom::parser inParser = [] {
        dom::parser p;
        FUZZ_CHECK(!p.allocate(1 << 16, 1 << 16));
        return p;
    }();
    static dom::parser outParser = [] {
        dom::parser p;
        FUZZ_CHECK(!p.allocate(1 << 16, 1 << 16));
        return p;
    }();
    dom::element in;
    const bool inIsJson = !inParser.parse(text.data(), text.size()).get(in);
    if (out == text) {
        return 0;
    }
    FUZZ_CHECK(inIsJson, "text that is not JSON must come back unchanged");
    // Re-formatting the readable form changes nothing, except that a negative
    // zero read back as an integer loses its sign.
    FUZZ_CHECK(withoutNegativeZero(prettyPrintedJson(out)) == withoutNegativeZero(out),
               "re-formatting changes the readable form: %s", out.c_str());
    dom::element written;
    const auto error = outParser.parse(out.data(), out.size()).get(written);
    // A large integral double may be written as an integer beyond 64 bits:
    // valid JSON, but more than this parser takes.
    if (error == simdjson::NUMBER_ERROR || error == simdjson::NUMBER_OUT_OF_RANGE) {
        FUZZ_CHECK(numbersAreJson(out), "a number is not JSON: %s", out.c_str());
        return 0;
    }
    FUZZ_CHECK(!error, "the readable form is not JSON: %s", out.c_str());
    FUZZ_CHECK(sameValue(in, written) != Same::no, "the readable form holds another value: %s",
               out.c_str());
    return 0;
}

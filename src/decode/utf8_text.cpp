#include "decode/utf8_text.h"

#include <simdjson.h>

namespace korvantis {

bool isValidUtf8(std::string_view bytes) {
    return simdjson::validate_utf8(bytes.data(), bytes.size());
}

namespace {

// The well-formed sequence that starts at s[i], or else the maximal subpart
// of an ill-formed one (at least its first byte), which becomes one U+FFFD
// (the usual "substitution of maximal subparts" practice).
struct Sequence {
    std::size_t length;
    bool valid;
};

inline Sequence sequenceAt(const unsigned char* s, std::size_t i, std::size_t n) {
    const unsigned char c = s[i];
    std::size_t need = 0;
    unsigned char lo = 0x80, hi = 0xbf;  // allowed range of the second byte
    if (c >= 0xc2 && c <= 0xdf) {
        need = 1;
    } else if (c >= 0xe0 && c <= 0xef) {
        need = 2;
        if (c == 0xe0) {
            lo = 0xa0;
        } else if (c == 0xed) {
            hi = 0x9f;
        }
    } else if (c >= 0xf0 && c <= 0xf4) {
        need = 3;
        if (c == 0xf0) {
            lo = 0x90;
        } else if (c == 0xf4) {
            hi = 0x8f;
        }
    } else {
        return {1, false};
    }
    std::size_t j = i + 1;
    for (std::size_t k = 0; k < need; ++k, ++j) {
        const unsigned char lowest = k == 0 ? lo : 0x80;
        const unsigned char highest = k == 0 ? hi : 0xbf;
        if (j >= n || s[j] < lowest || s[j] > highest) {
            return {j - i, false};
        }
    }
    return {j - i, true};
}

}  // namespace

std::string toValidUtf8(std::string_view bytes) {
    static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
    std::string out;
    out.reserve(bytes.size() + 8);
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        if (s[i] < 0x80) {
            out.push_back(static_cast<char>(s[i]));
            ++i;
            continue;
        }
        const Sequence sequence = sequenceAt(s, i, n);
        if (sequence.valid) {
            out.append(bytes.data() + i, sequence.length);
        } else {
            out += kReplacement;
        }
        i += sequence.length;
    }
    return out;
}

}  // namespace korvantis

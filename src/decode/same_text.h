#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace korvantis {

// Whether two texts hold the same bytes. Keys, event names and paths are
// mostly short: up to 32 bytes they are compared as a few overlapping words
// instead of through a call to memcmp, which every row of a load would make.
inline bool sameText(std::string_view a, std::string_view b) {
    const std::size_t n = a.size();
    if (n != b.size()) {
        return false;
    }
    const char* const p = a.data();
    const char* const q = b.data();
    auto word = [](const char* at) {
        std::uint64_t w;
        std::memcpy(&w, at, sizeof w);
        return w;
    };
    auto halfWord = [](const char* at) {
        std::uint32_t w;
        std::memcpy(&w, at, sizeof w);
        return w;
    };
    if (n >= 8 && n <= 16) {
        return ((word(p) ^ word(q)) | (word(p + n - 8) ^ word(q + n - 8))) == 0;
    }
    if (n > 16 && n <= 32) {
        return ((word(p) ^ word(q)) | (word(p + 8) ^ word(q + 8)) |
                (word(p + n - 16) ^ word(q + n - 16)) | (word(p + n - 8) ^ word(q + n - 8))) == 0;
    }
    if (n >= 4 && n < 8) {
        return ((halfWord(p) ^ halfWord(q)) | (halfWord(p + n - 4) ^ halfWord(q + n - 4))) == 0;
    }
    return n == 0 || std::memcmp(p, q, n) == 0;
}

}  // namespace korvantis

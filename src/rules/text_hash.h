#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace korvantis {

// A hash of a text eight bytes a step, for the tables rules look texts up
// in on every row (names, suffixes, images): the library's byte hash costs
// several times more on such short texts. Transparent, so a std::string
// key is found by a string_view.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept {
        std::uint64_t h = 0x9e3779b97f4a7c15ull ^ text.size();
        for (std::size_t i = 0; i < text.size(); i += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, text.data() + i, std::min<std::size_t>(8, text.size() - i));
            h = (h ^ word) * 0xff51afd7ed558ccdull;
            h ^= h >> 32;
        }
        return static_cast<std::size_t>(h);
    }
};

}  // namespace korvantis

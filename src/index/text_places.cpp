#include "index/text_places.h"

#include <algorithm>
#include <cstring>

namespace korvantis {

std::optional<TextPlaces> TextPlaces::of(std::string_view section) {
    TextPlaces places;
    places.section_ = section;
    std::uint64_t high = 0;
    std::size_t at = 0;
    while (at < section.size()) {
        if (section.size() - at < 4 || places.low_.size() == UINT32_MAX) {
            return std::nullopt;
        }
        std::uint32_t length;
        std::memcpy(&length, section.data() + at, 4);
        at += 4;
        if (section.size() - at < length) {
            return std::nullopt;
        }
        for (; (at >> 32) > high; ++high) {
            places.wraps_.push_back(static_cast<std::uint32_t>(places.low_.size()));
        }
        places.low_.push_back(static_cast<std::uint32_t>(at));
        at += length;
    }
    return places;
}

std::string_view TextPlaces::operator[](std::size_t id) const {
    const auto wraps =
        wraps_.empty() ? std::uint64_t{0}
                       : static_cast<std::uint64_t>(
                             std::upper_bound(wraps_.begin(), wraps_.end(), id) - wraps_.begin());
    const std::uint64_t at = low_[id] + (wraps << 32);
    std::uint32_t length;
    std::memcpy(&length, section_.data() + at - 4, 4);
    // Checked when the places were found; only a cut (zeros) differs since.
    length = static_cast<std::uint32_t>(std::min<std::uint64_t>(length, section_.size() - at));
    return section_.substr(at, length);
}

}  // namespace korvantis

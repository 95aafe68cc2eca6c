#pragma once

#include <simdjson.h>

#include <array>
#include <cstddef>
#include <string_view>

namespace korvantis {

// The first occurrence of each of a few keys of a parsed JSON object, found
// in one walk over its members. An eslogger process has some twenty members
// and a row reads about ten of them: one search per key walked the object
// ten times.
template <std::size_t N>
class FirstMembers {
  public:
    FirstMembers(const simdjson::dom::object& object, const std::array<std::string_view, N>& keys) {
        std::size_t missing = N;
        for (const auto field : object) {
            const std::string_view key = field.key;
            for (std::size_t i = 0; i < N; ++i) {
                if (!found_[i] && key.size() == keys[i].size() && key == keys[i]) {
                    values_[i] = field.value;
                    found_[i] = true;
                    --missing;
                    break;
                }
            }
            if (missing == 0) {
                break;
            }
        }
    }

    // The value of keys[i], or nothing when the object has no such member.
    const simdjson::dom::element* operator[](std::size_t i) const {
        return found_[i] ? &values_[i] : nullptr;
    }

  private:
    std::array<simdjson::dom::element, N> values_{};
    std::array<bool, N> found_{};
};

}  // namespace korvantis

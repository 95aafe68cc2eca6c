#pragma once

#include <simdjson.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "decode/same_text.h"

namespace korvantis {

// The members of one parsed JSON object that a reader asks for, found in one
// walk over its keys. Looking each one up on its own walks the object once
// per key, and an eslogger process has some twenty members. Where a key
// occurs twice, the first occurrence is the one found, as with at_key.
template <std::size_t N>
class JsonMembers {
    static_assert(N <= 32, "one bit a key");

  public:
    JsonMembers(const simdjson::dom::object& obj, const std::array<std::string_view, N>& keys) {
        // Most keys are turned away by their length alone (a long one is
        // compared).
        std::uint64_t lengths = 0;
        for (const std::string_view key : keys) {
            lengths |= key.size() < 64 ? std::uint64_t{1} << key.size() : 0;
        }
        std::uint32_t missing = N == 32 ? ~std::uint32_t{0} : (std::uint32_t{1} << N) - 1;
        for (const auto field : obj) {
            const std::string_view key = field.key;
            if (key.size() < 64 && (lengths >> key.size() & 1) == 0) {
                continue;
            }
            for (std::size_t i = 0; i < N; ++i) {
                if ((missing >> i & 1) != 0 && sameText(key, keys[i])) {
                    values_[i] = field.value;
                    missing &= ~(std::uint32_t{1} << i);
                    break;
                }
            }
            if (missing == 0) {
                break;
            }
        }
        found_ = ~missing;
    }

    // The member named keys[i]; false when the object has none.
    bool get(std::size_t i, simdjson::dom::element& out) const {
        if ((found_ >> i & 1) == 0) {
            return false;
        }
        out = values_[i];
        return true;
    }

  private:
    std::array<simdjson::dom::element, N> values_{};
    std::uint32_t found_ = 0;
};

}  // namespace korvantis

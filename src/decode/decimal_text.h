#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvantis {

// The decimal form of a 64-bit number, kept in place (no allocation).
class DecimalText {
  public:
    explicit DecimalText(std::int64_t value) {
        const auto [end, ec] = std::to_chars(digits_, digits_ + sizeof digits_, value);
        (void)ec;  // 24 bytes always hold a 64-bit number
        size_ = static_cast<std::size_t>(end - digits_);
    }
    std::string_view view() const { return {digits_, size_}; }

  private:
    char digits_[24];
    std::size_t size_;
};

inline void appendDecimal(std::string& out, std::int64_t value) {
    out += DecimalText(value).view();
}

}  // namespace korvantis

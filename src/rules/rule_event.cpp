#include "rules/rule_event.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace korvantis {

int ruleFieldNamed(std::string_view name) {
    const auto* it = std::find(kRuleFieldNames.begin(), kRuleFieldNames.end(), name);
    return it == kRuleFieldNames.end() ? -1 : static_cast<int>(it - kRuleFieldNames.begin());
}

void foldAsciiInto(std::string_view text, std::string& out) {
    const std::size_t n = text.size();
    out.resize(n);
    const char* in = text.data();
    char* to = out.data();
    // Eight bytes at a time: command lines and paths are long, and a byte
    // at a time costs a branch each. A byte's high bit keeps it out of the
    // range test, so UTF-8 bytes pass unchanged.
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHigh = 0x8080808080808080ull;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, in + i, sizeof w);
        const std::uint64_t ascii = ~w & kHigh;
        const std::uint64_t low = w & ~kHigh;
        // High bit of each byte: at least 'A', and at most 'Z'.
        const std::uint64_t fromA = low + (0x80 - 'A') * kOnes;
        const std::uint64_t toZ = (0x80 + 'Z') * kOnes - low;
        const std::uint64_t upper = fromA & toZ & ascii;
        w += upper >> 2;  // 0x80 >> 2 is 0x20, from 'A' to 'a'
        std::memcpy(to + i, &w, sizeof w);
    }
    for (; i < n; ++i) {
        const char c = in[i];
        to[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
}

std::string_view RuleEvent::foldField(std::size_t field) const {
    foldAsciiInto(texts_[field], foldedTexts_[field]);
    folded_.set(field);
    return foldedTexts_[field];
}

void RuleEvent::makeRoomFor(std::uint32_t shared) const {
    itemAnswers_.resize(std::size_t{shared} + 1, 0);
}

std::string_view RuleEvent::foldedLine() const {
    if (!lineFolded_) {
        foldAsciiInto(rawLine, foldedLine_);
        lineFolded_ = true;
    }
    return foldedLine_;
}

}  // namespace korvantis

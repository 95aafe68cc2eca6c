#include "describe/duration_text.h"

namespace korvantis {

namespace {

// `value` in units of `unit` nanoseconds, 1 <= value / unit < 1000, cut to
// three significant digits.
std::string threeDigits(std::uint64_t value, std::uint64_t unit) {
    std::uint64_t hundredths = value / (unit / 100);  // unit is a power of 1000, >= 1000
    int decimals = 2;
    if (hundredths >= 10000) {
        hundredths -= hundredths % 100;
    } else if (hundredths >= 1000) {
        hundredths -= hundredths % 10;
    }
    while (decimals > 0 && hundredths % 10 == 0) {
        hundredths /= 10;
        --decimals;
    }
    std::string digits = std::to_string(hundredths);
    if (decimals > 0) {
        digits.insert(digits.size() - static_cast<std::size_t>(decimals), ".");
    }
    return digits;
}

std::string twoUnits(std::uint64_t first, const char* firstName, std::uint64_t second,
                     const char* secondName) {
    std::string text = std::to_string(first) + " " + firstName;
    if (second != 0) {
        text += " " + std::to_string(second) + " " + secondName;
    }
    return text;
}

std::string sizeText(std::uint64_t ns) {
    constexpr std::uint64_t kMicro = 1000;
    constexpr std::uint64_t kMilli = 1000 * kMicro;
    constexpr std::uint64_t kSecond = 1000 * kMilli;
    if (ns < kMicro) {
        return std::to_string(ns) + " ns";
    }
    if (ns < kMilli) {
        return threeDigits(ns, kMicro) + " µs";
    }
    if (ns < kSecond) {
        return threeDigits(ns, kMilli) + " ms";
    }
    if (ns < 60 * kSecond) {
        return threeDigits(ns, kSecond) + " s";
    }
    const std::uint64_t seconds = ns / kSecond;
    if (seconds < 3600) {
        return twoUnits(seconds / 60, "min", seconds % 60, "s");
    }
    if (seconds < 86400) {
        return twoUnits(seconds / 3600, "h", seconds % 3600 / 60, "min");
    }
    return twoUnits(seconds / 86400, "d", seconds % 86400 / 3600, "h");
}

}  // namespace

std::string durationText(std::int64_t nanoseconds) {
    if (nanoseconds < 0) {
        // Through the unsigned size: the most negative value has no positive twin.
        return "-" + sizeText(~static_cast<std::uint64_t>(nanoseconds) + 1);
    }
    return sizeText(static_cast<std::uint64_t>(nanoseconds));
}

}  // namespace korvantis

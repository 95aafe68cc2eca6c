// The readable forms of a row's time.

#include "describe/time_text.h"

#include <ctime>

namespace korvantis {

namespace {

// "YYYY-MM-DD HH:MM:SS.ffffff" of a moment, from its UTC text.
std::string dateTimeText(TimeValue value) {
    std::string text = formatUtc(value);  // YYYY-MM-DDTHH:MM:SS.nnnnnnnnnZ
    text[10] = ' ';
    text.resize(26);
    return text;
}

// Seconds the local zone is ahead of UTC at that moment.
long localOffset(TimeValue value) {
    const std::time_t seconds = static_cast<std::time_t>(value / kTimeValueSecond);
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr) {
        return 0;
    }
    return local.tm_gmtoff;
}

void appendTwo(std::string& out, std::int64_t n) {
    out.push_back(static_cast<char>('0' + n / 10));
    out.push_back(static_cast<char>('0' + n % 10));
}

std::string sinceText(std::int64_t elapsed) {
    std::string out(1, elapsed < 0 ? '-' : '+');
    const std::uint64_t magnitude =
        elapsed < 0 ? 0 - static_cast<std::uint64_t>(elapsed) : static_cast<std::uint64_t>(elapsed);
    const auto micros = static_cast<std::int64_t>(magnitude / 1000 % 1'000'000);
    const auto seconds = static_cast<std::int64_t>(magnitude / kTimeValueSecond);
    const std::int64_t days = seconds / 86400;
    if (days > 0) {
        out += std::to_string(days) + "d ";
    }
    appendTwo(out, seconds / 3600 % 24);
    out.push_back(':');
    appendTwo(out, seconds / 60 % 60);
    out.push_back(':');
    appendTwo(out, seconds % 60);
    out.push_back('.');
    const std::string digits = std::to_string(micros);
    out.append(6 - digits.size(), '0');
    out += digits;
    return out;
}

}  // namespace

std::string shownTime(TimeDisplay display, std::string_view recorded, TimeValue time,
                      TimeValue first) {
    if (time == kNoTimeValue || display == TimeDisplay::asRecorded) {
        return std::string(recorded);
    }
    switch (display) {
        case TimeDisplay::utc:
            return dateTimeText(time);
        case TimeDisplay::local: {
            TimeValue shifted = 0;
            const std::int64_t offset = localOffset(time) * kTimeValueSecond;
            if (__builtin_add_overflow(time, offset, &shifted) || shifted < 0) {
                return dateTimeText(time);  // beyond what a date can be written for
            }
            return dateTimeText(shifted);
        }
        case TimeDisplay::sinceFirst:
            return sinceText(first == kNoTimeValue ? 0 : time - first);
        case TimeDisplay::asRecorded:
            break;
    }
    return std::string(recorded);
}

}  // namespace korvantis

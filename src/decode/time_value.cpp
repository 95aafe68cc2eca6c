#include "decode/time_value.h"

#include <cstdio>

namespace korvantis {

namespace {

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
constexpr std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// The first second that is no longer a time value: 2262-01-01T00:00:00Z.
constexpr std::int64_t kLimitSeconds = daysFromCivil(2262, 1, 1) * 86400;

bool isLeapYear(std::int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

unsigned daysInMonth(std::int64_t y, unsigned m) {
    constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeapYear(y) ? 29 : kDays[m - 1];
}

// Reads the text from left to right; every read either takes what it wants
// and moves on, or fails and leaves the place alone.
class Cursor {
  public:
    explicit Cursor(std::string_view text) : text_(text) {}
    bool atEnd() const { return at_ == text_.size(); }
    bool take(char c) {
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    // Exactly `count` digits.
    std::optional<std::int64_t> digits(std::size_t count) {
        if (text_.size() - at_ < count) {
            return std::nullopt;
        }
        std::int64_t value = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const char c = text_[at_ + i];
            if (c < '0' || c > '9') {
                return std::nullopt;
            }
            value = value * 10 + (c - '0');
        }
        at_ += count;
        return value;
    }
    // From `least` to `most` digits, as many as there are; their count too.
    std::optional<std::int64_t> digitRun(std::size_t least, std::size_t most, std::size_t& count) {
        count = 0;
        while (at_ + count < text_.size() && count <= most && text_[at_ + count] >= '0' &&
               text_[at_ + count] <= '9') {
            ++count;
        }
        if (count < least || count > most) {
            return std::nullopt;
        }
        return digits(count);
    }
    // '.' and 1 to 9 digits, as nanoseconds; 0 when no '.' follows.
    std::optional<std::int64_t> fraction() {
        if (!take('.')) {
            return 0;
        }
        std::size_t count = 0;
        std::optional<std::int64_t> value = digitRun(1, 9, count);
        if (!value) {
            return std::nullopt;
        }
        for (; count < 9; ++count) {
            *value *= 10;
        }
        return value;
    }

  private:
    std::string_view text_;
    std::size_t at_ = 0;
};

std::optional<TimeValue> fromSeconds(std::int64_t seconds, std::int64_t nanos) {
    if (seconds < 0 || seconds >= kLimitSeconds) {
        return std::nullopt;
    }
    return seconds * kTimeValueSecond + nanos;
}

// Ten digits, a point and six: the shape of nearly every recorded time,
// read without searching for where the digits end. Nothing when `text` has
// another shape.
std::optional<TimeValue> parseMicrosecondEpoch(std::string_view text) {
    if (text.size() != 17 || text[10] != '.') {
        return std::nullopt;
    }
    std::uint64_t seconds = 0;
    std::uint64_t micros = 0;
    unsigned nonDigits = 0;
    for (std::size_t i = 0; i < 10; ++i) {
        const unsigned digit = static_cast<unsigned char>(text[i]) - unsigned{'0'};
        nonDigits |= digit > 9;
        seconds = seconds * 10 + digit;
    }
    for (std::size_t i = 11; i < 17; ++i) {
        const unsigned digit = static_cast<unsigned char>(text[i]) - unsigned{'0'};
        nonDigits |= digit > 9;
        micros = micros * 10 + digit;
    }
    if (nonDigits != 0) {
        return std::nullopt;
    }
    return fromSeconds(static_cast<std::int64_t>(seconds),
                       static_cast<std::int64_t>(micros) * 1000);
}

std::optional<TimeValue> parseEpochSeconds(std::string_view text) {
    if (auto usual = parseMicrosecondEpoch(text)) {
        return usual;
    }
    Cursor at(text);
    std::size_t count = 0;
    const std::optional<std::int64_t> seconds = at.digitRun(1, 12, count);
    if (!seconds) {
        return std::nullopt;
    }
    const std::optional<std::int64_t> nanos = at.fraction();
    if (!nanos || !at.atEnd()) {
        return std::nullopt;
    }
    return fromSeconds(*seconds, *nanos);
}

// "YYYY-MM-DD", as days since 1970-01-01.
std::optional<std::int64_t> parseDate(Cursor& at) {
    const auto y = at.digits(4);
    if (!y || !at.take('-')) {
        return std::nullopt;
    }
    const auto m = at.digits(2);
    if (!m || *m < 1 || *m > 12 || !at.take('-')) {
        return std::nullopt;
    }
    const auto d = at.digits(2);
    if (!d || *d < 1 || *d > daysInMonth(*y, static_cast<unsigned>(*m))) {
        return std::nullopt;
    }
    return daysFromCivil(*y, static_cast<unsigned>(*m), static_cast<unsigned>(*d));
}

// "HH:MM", as minutes; hours 0-23, minutes 0-59.
std::optional<std::int64_t> parseHoursMinutes(Cursor& at) {
    const auto h = at.digits(2);
    if (!h || *h > 23 || !at.take(':')) {
        return std::nullopt;
    }
    const auto m = at.digits(2);
    if (!m || *m > 59) {
        return std::nullopt;
    }
    return *h * 60 + *m;
}

// 'Z' or "+HH:MM"/"-HH:MM" as seconds east of UTC; 0 at the end of the text
// when `optional`.
std::optional<std::int64_t> parseZone(Cursor& at, bool optional) {
    if (at.take('Z')) {
        return 0;
    }
    const bool east = at.take('+');
    if (east || at.take('-')) {
        const auto minutes = parseHoursMinutes(at);
        if (!minutes) {
            return std::nullopt;
        }
        return (east ? 60 : -60) * *minutes;
    }
    if (optional && at.atEnd()) {
        return 0;
    }
    return std::nullopt;
}

// The date and time after 'T' of a bound: "HH:MM", optionally ":SS[.f]".
// `needSeconds` for a row's timestamp, which always has them.
std::optional<TimeValue> parseDateTime(std::string_view text, bool needSeconds) {
    Cursor at(text);
    const auto days = parseDate(at);
    if (!days) {
        return std::nullopt;
    }
    if (!needSeconds && at.atEnd()) {
        return fromSeconds(*days * 86400, 0);
    }
    if (!at.take('T')) {
        return std::nullopt;
    }
    const auto minutes = parseHoursMinutes(at);
    if (!minutes) {
        return std::nullopt;
    }
    std::int64_t seconds = 0;
    std::int64_t nanos = 0;
    if (at.take(':')) {
        const auto s = at.digits(2);
        const auto f = s ? at.fraction() : std::nullopt;
        if (!f || *s > 59) {
            return std::nullopt;
        }
        seconds = *s;
        nanos = *f;
    } else if (needSeconds) {
        return std::nullopt;
    }
    const auto east = parseZone(at, !needSeconds);
    if (!east || !at.atEnd()) {
        return std::nullopt;
    }
    return fromSeconds(*days * 86400 + *minutes * 60 + seconds - *east, nanos);
}

// "YYYY-MM-DDTHH:MM:SS", then '.' and 1 to 9 digits or nothing, then 'Z':
// the shape of every eslogger timestamp, read at its fixed places and without
// a branch a digit. Nothing for any other text, and for a text of this shape
// that is no time value (kNoTimeValue then): the general reading decides, so
// this one only has to be quick and never accept what that one refuses.
TimeValue parseUsualInstant(std::string_view text) {
    const std::size_t n = text.size();
    if (n < 20 || n > 30 || n == 21 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':' || text[n - 1] != 'Z' || (n > 20 && text[19] != '.')) {
        return kNoTimeValue;
    }
    const auto* const p = reinterpret_cast<const unsigned char*>(text.data());
    // A byte that is no digit wraps around to a value far above 9.
    const auto digit = [p](std::size_t at) { return unsigned{p[at]} - unsigned{'0'}; };
    const auto pair = [&digit](std::size_t at) { return digit(at) * 10 + digit(at + 1); };
    bool nonDigit = false;
    for (const std::size_t at : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18}) {
        nonDigit |= digit(at) > 9;
    }
    std::int64_t nanos = 0;
    for (std::size_t at = 20; at < 29; ++at) {
        const unsigned d = at < n - 1 ? digit(at) : 0;
        nonDigit |= d > 9;
        nanos = nanos * 10 + d;
    }
    const std::int64_t year = pair(0) * 100 + pair(2);
    const unsigned month = pair(5);
    const unsigned day = pair(8);
    const unsigned hours = pair(11);
    const unsigned minutes = pair(14);
    const unsigned seconds = pair(17);
    if (nonDigit || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) ||
        hours > 23 || minutes > 59 || seconds > 59) {
        return kNoTimeValue;
    }
    return fromSeconds(
               daysFromCivil(year, month, day) * 86400 + hours * 3600 + minutes * 60 + seconds,
               nanos)
        .value_or(kNoTimeValue);
}

}  // namespace

std::optional<TimeValue> parseTimeValue(std::string_view text) {
    if (const TimeValue usual = parseUsualInstant(text); usual != kNoTimeValue) {
        return usual;
    }
    if (auto value = parseEpochSeconds(text)) {
        return value;
    }
    return parseDateTime(text, true);
}

std::optional<TimeValue> parseTimeBound(std::string_view text) {
    if (auto value = parseEpochSeconds(text)) {
        return value;
    }
    return parseDateTime(text, false);
}

std::string formatUtc(TimeValue value) {
    const std::int64_t seconds = value / kTimeValueSecond;
    const std::int64_t nanos = value % kTimeValueSecond;
    // Civil date from days since 1970-01-01 (the inverse of daysFromCivil).
    const std::int64_t z = seconds / 86400 + 719468;
    const std::int64_t era = z / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0);
    const std::int64_t s = seconds % 86400;
    char out[64];
    std::snprintf(out, sizeof out, "%04lld-%02u-%02uT%02lld:%02lld:%02lld.%09lldZ",
                  static_cast<long long>(y), m, d, static_cast<long long>(s / 3600),
                  static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60),
                  static_cast<long long>(nanos));
    return out;
}

}  // namespace korvantis

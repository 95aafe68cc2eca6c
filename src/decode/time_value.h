#pragma once

#include <climits>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvantis {

// A moment as nanoseconds since 1970-01-01T00:00:00Z. Only moments from that
// instant up to (not including) 2262-01-01T00:00:00Z are time values: where
// signed 64-bit nanoseconds end.
using TimeValue = std::int64_t;
// Where a row keeps "no time value": below every moment that is one.
inline constexpr TimeValue kNoTimeValue = INT64_MIN;
// One second of time values.
inline constexpr TimeValue kTimeValueSecond = 1'000'000'000;

// The time value of a row's whole timestamp text: epoch seconds ("1765000000",
// "1765000000.000100": 1 to 12 digits, then optionally '.' and 1 to 9 digits)
// or an instant "YYYY-MM-DDTHH:MM:SS[.f]" ending in 'Z' or "+HH:MM"/"-HH:MM".
// Nothing for any other text (a trailing blank included) or a moment outside
// the range above.
std::optional<TimeValue> parseTimeValue(std::string_view text);

// The moment a filter's after:/before: value names: epoch seconds as above, or
// "YYYY-MM-DD" optionally followed by "THH:MM", then optionally ":SS", then
// optionally a fraction; a time (not a bare date) may end with 'Z' or an
// offset. Without a zone the moment is in UTC; a bare date is its midnight.
std::optional<TimeValue> parseTimeBound(std::string_view text);

// "YYYY-MM-DDTHH:MM:SS.nnnnnnnnnZ".
std::string formatUtc(TimeValue value);

}  // namespace korvantis

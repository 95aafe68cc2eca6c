#pragma once

#include <cstdint>
#include <string>

namespace korvantis {

// A span of time as people read it, for every place that shows one: below a
// minute in the largest unit that keeps it at 1 or more ("850 ns", "12.5 µs",
// "3 ms", "1.24 s"), cut (not rounded) to three significant digits with
// trailing zeros dropped; from a minute on in two whole units ("2 min 5 s",
// "3 h 7 min", "2 d 4 h"), the second left out when it is 0. A negative span
// is written as its size after a "-".
std::string durationText(std::int64_t nanoseconds);

}  // namespace korvantis

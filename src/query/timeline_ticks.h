#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "decode/time_value.h"

namespace korvantis {

// One labelled mark along the timeline, in UTC.
struct TimelineTick {
    TimeValue at = 0;
    std::string label;
    bool operator==(const TimelineTick&) const = default;
};

// The ticks of a timeline over [from, to) that is `width` pixels wide: the
// smallest round step (1, 2, 5, 10, 20, 50, 100, 200, 500 ns, µs or ms;
// 1, 2, 5, 10, 15, 30 s or min; 1, 3, 6, 12 h; 1, 2, 7, 14 days; 1, 3, 6
// months; 1, 2, 5, 10... years) whose labels fit side by side, as
// `textWidth` measures them, with room between them. Ticks stand on whole
// multiples of the step (calendar months and years for the long ones). The
// first label and the first on every new day carry the date, the others
// only the time of day, to the step's precision ("15:28", "15:28:33.250").
// A dated label is wider: a tick whose label would run into it has none.
std::vector<TimelineTick> timelineTicks(TimeValue from, TimeValue to, int width,
                                        const std::function<int(std::string_view)>& textWidth);

}  // namespace korvantis

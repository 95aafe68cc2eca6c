// The timeline's ticks: round steps that fit, dates where a day begins.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "query/timeline_ticks.h"

namespace korvantis {
namespace {

// Seven pixels a byte, as a plain fixed-width font would have it.
int fixedWidth(std::string_view text) {
    return static_cast<int>(text.size()) * 7;
}

std::vector<std::string> labels(TimeValue from, TimeValue span, int width = 800) {
    std::vector<std::string> out;
    for (const TimelineTick& t : timelineTicks(from, from + span, width, fixedWidth)) {
        out.push_back(t.label);
    }
    return out;
}

TEST(TimelineTicks, RoundStepsWithDatesWhereADayBegins) {
    const TimeValue afternoon = 1786548513500000000;  // 2026-08-12T15:28:33.5Z
    const TimeValue evening = 1786572000000000000;    // 2026-08-12T22:00:00Z
    const TimeValue july = 1753196941000000000;       // 2025-07-22T15:09:01Z
    const struct {
        const char* name;
        TimeValue from, span;
        int width;
        std::vector<std::string> want;  // "" for a tick without a label
    } cases[] = {
        {"10 ms: every 2 ms; the dated first label takes the room of the next",
         afternoon,
         10'000'000,
         800,
         {"2026-08-12 15:28:33.500", "", "15:28:33.504", "15:28:33.506", "15:28:33.508"}},
        {"3 h: quarter hours, from the next round one",
         afternoon,
         3 * 3600 * kTimeValueSecond,
         800,
         {"2026-08-12 15:30", "", "16:00", "16:15", "16:30", "16:45", "17:00", "17:15", "17:30",
          "17:45", "18:00", "18:15"}},
        {"2 days: every 6 h, the date wherever a day begins",
         evening,
         2 * 86400 * kTimeValueSecond,
         800,
         {"2026-08-13 00:00", "", "12:00", "18:00", "2026-08-14 00:00", "", "12:00", "18:00"}},
        {"14 months: months",
         july,
         426 * 86400 * kTimeValueSecond,
         1200,
         {"2025-08", "2025-09", "2025-10", "2025-11", "2025-12", "2026-01", "2026-02", "2026-03",
          "2026-04", "2026-05", "2026-06", "2026-07", "2026-08", "2026-09"}},
        {"14 months in a narrow strip",
         july,
         426 * 86400 * kTimeValueSecond,
         300,
         {"2026-01", "2026-07"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(labels(c.from, c.span, c.width), c.want) << c.name;
    }
}

// Whatever the span, the ticks stand in order inside it, on a round step,
// and their labels do not run into each other.
TEST(TimelineTicks, FitAndStayInsideOnAnySpan) {
    const TimeValue from = 1786548513123456789;
    constexpr TimeValue kCenturies = 200LL * 365 * 86400 * kTimeValueSecond;
    for (TimeValue span = 7; span < kCenturies / 3; span = span * 3 + 1) {
        const int width = 640;
        const auto ticks = timelineTicks(from, from + span, width, fixedWidth);
        SCOPED_TRACE(span);
        ASSERT_FALSE(ticks.empty());
        EXPECT_FALSE(ticks.front().label.empty());
        double labelEnd = -1e300;
        for (std::size_t i = 0; i < ticks.size(); ++i) {
            if (!ticks[i].label.empty()) {
                const double x = static_cast<double>(ticks[i].at - from) * width / span;
                EXPECT_GE(x, labelEnd) << ticks[i].label;
                labelEnd = x + fixedWidth(ticks[i].label);
            }
            EXPECT_GE(ticks[i].at, from);
            EXPECT_LT(ticks[i].at, from + span);
            if (i > 0) {
                EXPECT_GT(ticks[i].at, ticks[i - 1].at);
            }
        }
    }
    EXPECT_TRUE(timelineTicks(from, from, 640, fixedWidth).empty());
}

}  // namespace
}  // namespace korvantis

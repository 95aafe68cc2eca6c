#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "decode/time_value.h"
#include "describe/time_text.h"

namespace korvantis {
namespace {

struct ShownCase {
    TimeDisplay display;
    const char* recorded;
    const char* first;  // the earliest timestamp loaded
    const char* shown;
};

// (As recorded, a row shows its own text: the filter bar's time display
// test has it.)
TEST(TimeText, EveryDisplay) {
    // Five and a half hours ahead of UTC, without a zone database.
    ::setenv("TZ", "XST-5:30", 1);
    ::tzset();
    const ShownCase cases[] = {
        {TimeDisplay::utc, "1765000000.0000019", "1765000000", "2025-12-06 05:46:40.000001"},
        {TimeDisplay::utc, "0", "0", "1970-01-01 00:00:00.000000"},
        {TimeDisplay::local, "1765000000.0000019", "0", "2025-12-06 11:16:40.000001"},
        {TimeDisplay::local, "2024-02-28T20:00:00Z", "0", "2024-02-29 01:30:00.000000"},
        // Just after the epoch.
        {TimeDisplay::local, "0.5", "0", "1970-01-01 05:30:00.500000"},
        {TimeDisplay::sinceFirst, "1765000000.0000019", "1765000000", "+00:00:00.000001"},
        {TimeDisplay::sinceFirst, "1765003723.5", "1765000000", "+01:02:03.500000"},
        {TimeDisplay::sinceFirst, "1765090000", "1765000000", "+1d 01:00:00.000000"},
        // Rows without a time value show their text whatever the display.
        {TimeDisplay::utc, "1765000000.0 ", "0", "1765000000.0 "},
    };
    for (const ShownCase& c : cases) {
        SCOPED_TRACE(c.recorded);
        const TimeValue time = parseTimeValue(c.recorded).value_or(kNoTimeValue);
        const TimeValue first = parseTimeValue(c.first).value_or(kNoTimeValue);
        EXPECT_EQ(shownTime(c.display, c.recorded, time, first), c.shown);
    }
    ::unsetenv("TZ");
    ::tzset();
}

}  // namespace
}  // namespace korvantis

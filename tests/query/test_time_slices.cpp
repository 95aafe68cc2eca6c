#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "query/time_slices.h"

namespace korvantis {
namespace {

// Against a plain count: each row's slice found by walking the slices.
TEST(TimeSlices, AgreeWithPlainCount) {
    std::mt19937_64 rng(20261206);
    for (int round = 0; round < 40; ++round) {
        const TimeValue first = static_cast<TimeValue>(rng() % 4'000'000'000'000'000'000ull);
        const TimeValue span = round % 4 == 0 ? 0 : static_cast<TimeValue>(rng() % 100'000'000'000);
        const std::size_t count = 1 + rng() % 300;
        TimeSlices slices(first, first + span, count);
        ASSERT_EQ(slices.slices().size(), count);
        // The span is covered: the last moment falls in a slice.
        ASSERT_GE(slices.sliceOf(first + span), 0);
        std::vector<SliceCount> expected(count);
        for (int i = 0; i < 500; ++i) {
            // Inside the span, just outside it, and no time value.
            const auto offset = static_cast<TimeValue>(rng() % (span + 3)) - 1;
            const TimeValue t = rng() % 10 == 0 ? kNoTimeValue : first + offset;
            const auto list = static_cast<RowKind>(rng() % 3);
            slices.add(t, list);
            for (std::size_t s = 0; s < count && t != kNoTimeValue; ++s) {
                const TimeValue start = slices.from() + static_cast<TimeValue>(s) * slices.width();
                if (t >= start && t - start < slices.width()) {
                    ++expected[s].rows[list];
                }
            }
        }
        ASSERT_EQ(slices.slices(), expected);
    }
}

}  // namespace
}  // namespace korvantis

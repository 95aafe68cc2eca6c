#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "load/sequence_gaps.h"

namespace korvantis {
namespace {

TEST(SequenceGaps, JumpsRestartsAndRepeats) {
    using Lines = std::vector<std::pair<std::uint64_t, std::int64_t>>;  // line, number
    const struct {
        Lines lines;
        std::vector<SequenceGap> want;
    } cases[] = {
        {{}, {}},
        {{{1, 7}}, {}},
        {{{1, 1}, {2, 2}, {3, 3}}, {}},
        {{{1, 1}, {2, 5}}, {{2, 3}}},
        // Lines without a number are skipped without restarting the count.
        {{{1, 1}, {4, 3}, {9, 10}}, {{4, 1}, {9, 6}}},
        // A repeat or a step back starts afresh from that number.
        {{{1, 5}, {2, 5}, {3, 7}}, {{3, 1}}},
        {{{1, 100}, {2, 1}, {3, 2}, {4, 4}}, {{4, 1}}},
        // Two logs' worth in one file: the second starts lower.
        {{{1, 0}, {2, 1}, {3, 0}, {4, 2}}, {{4, 1}}},
        {{{1, 0}, {2, INT64_MAX}}, {{2, static_cast<std::uint64_t>(INT64_MAX) - 1}}},
    };
    for (const auto& c : cases) {
        SequenceGapCounter counter;
        std::uint64_t lost = 0;
        for (const auto& [line, number] : c.lines) {
            counter.count(line, number);
        }
        for (const SequenceGap& gap : c.want) {
            lost += gap.lost;
        }
        EXPECT_EQ(counter.gaps(), c.want);
        EXPECT_EQ(counter.lost(), lost);
    }
}

}  // namespace
}  // namespace korvantis

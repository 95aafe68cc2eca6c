#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "store/sequence_gap.h"

namespace korvantis {

// Fed the numbered lines of one log in file order. A number more than one
// above the last one marks a gap; one at or below it starts counting afresh.
class SequenceGapCounter {
  public:
    SequenceGapCounter() = default;
    // Counting on where a count of the same log stopped: its gaps (lines
    // and losses) and the last number it saw.
    SequenceGapCounter(std::vector<SequenceGap> gaps, std::optional<std::int64_t> last)
        : last_(last), gaps_(std::move(gaps)) {
        for (const SequenceGap& gap : gaps_) {
            lost_.add(gap.lost);
        }
    }
    void count(std::uint64_t line, std::int64_t number) {
        if (last_ && number > *last_ && number - *last_ > 1) {
            const auto lost = static_cast<std::uint64_t>(number - *last_ - 1);
            gaps_.push_back(SequenceGap{line, lost});
            lost_.add(lost);
        }
        last_ = number;
    }
    const std::vector<SequenceGap>& gaps() const { return gaps_; }
    const LostMessages& lost() const { return lost_; }
    std::optional<std::int64_t> last() const { return last_; }

  private:
    std::optional<std::int64_t> last_;
    std::vector<SequenceGap> gaps_;
    LostMessages lost_;
};

}  // namespace korvantis

#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "decode/time_value.h"
#include "store/row_kind.h"

namespace korvantis {

// How many rows of each kind fall in one slice of time.
struct SliceCount {
    PerKind<std::uint32_t> rows{};
    std::uint32_t total() const {
        std::uint32_t sum = 0;
        for (const std::uint32_t n : rows) {
            sum += n;
        }
        return sum;
    }
    bool operator==(const SliceCount& o) const { return rows.items == o.rows.items; }
};

// A span of time cut into slices of equal width, with the rows counted in
// each: what a timeline draws. Slice i holds [from + i * width, from + (i + 1)
// * width); rows without a time value or outside the span are not counted.
class TimeSlices {
  public:
    TimeSlices() = default;
    // `count` slices (at least one) covering [first, last], each at least
    // one nanosecond wide.
    TimeSlices(TimeValue first, TimeValue last, std::size_t count);

    TimeValue from() const { return from_; }
    TimeValue width() const { return width_; }
    const std::vector<SliceCount>& slices() const { return slices_; }

    // The slice a moment falls in, or -1 outside the span.
    std::ptrdiff_t sliceOf(TimeValue time) const;
    void add(TimeValue time, RowKind kind);

  private:
    TimeValue from_ = 0;
    TimeValue width_ = 1;
    std::vector<SliceCount> slices_;
};

}  // namespace korvantis

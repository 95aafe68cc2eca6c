#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ingest/time_value.h"
#include "store/row_list.h"

namespace korvantis {

// How many rows of each list fall in one slice of time.
struct SliceCount {
    std::uint32_t process = 0;
    std::uint32_t file = 0;
    std::uint32_t other = 0;
    std::uint32_t total() const { return process + file + other; }
    bool operator==(const SliceCount&) const = default;
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
    void add(TimeValue time, RowList list);

  private:
    TimeValue from_ = 0;
    TimeValue width_ = 1;
    std::vector<SliceCount> slices_;
};

// The `count` seconds holding most rows, most first (ties: earlier first),
// as the time value of each second's start and its rows.
struct BusySecond {
    TimeValue start = 0;
    std::uint64_t rows = 0;
    bool operator==(const BusySecond&) const = default;
};
std::vector<BusySecond> busiestSeconds(const std::vector<TimeValue>& times, std::size_t count);

}  // namespace korvantis

// Counting rows by time: slices for a timeline.

#include "query/time_slices.h"

#include <algorithm>

namespace korvantis {

TimeSlices::TimeSlices(TimeValue first, TimeValue last, std::size_t count)
    : from_(first), slices_(std::max<std::size_t>(count, 1)) {
    const auto n = static_cast<TimeValue>(slices_.size());
    const TimeValue span = last >= first ? last - first + 1 : 1;
    width_ = std::max<TimeValue>(1, span / n + (span % n != 0 ? 1 : 0));
}

std::ptrdiff_t TimeSlices::sliceOf(TimeValue time) const {
    if (time == kNoTimeValue || time < from_) {
        return -1;
    }
    const TimeValue slice = (time - from_) / width_;
    return slice < static_cast<TimeValue>(slices_.size()) ? static_cast<std::ptrdiff_t>(slice) : -1;
}

void TimeSlices::add(TimeValue time, RowKind kind) {
    const std::ptrdiff_t slice = sliceOf(time);
    if (slice >= 0) {
        ++slices_[static_cast<std::size_t>(slice)].rows[kind];
    }
}

}  // namespace korvantis

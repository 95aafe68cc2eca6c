// Counting rows by time: slices for a timeline, the busiest seconds.

#include "query/time_slices.h"

#include <algorithm>

namespace korvantis {

namespace {

constexpr TimeValue kSecond = 1'000'000'000;

}  // namespace

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

void TimeSlices::add(TimeValue time, RowList list) {
    const std::ptrdiff_t slice = sliceOf(time);
    if (slice >= 0) {
        SliceCount& c = slices_[static_cast<std::size_t>(slice)];
        ++(list == RowList::process ? c.process : list == RowList::file ? c.file : c.other);
    }
}

std::vector<BusySecond> busiestSeconds(const std::vector<TimeValue>& times, std::size_t count) {
    std::vector<TimeValue> seconds;
    seconds.reserve(times.size());
    for (const TimeValue t : times) {
        if (t != kNoTimeValue) {
            seconds.push_back(t / kSecond * kSecond);
        }
    }
    std::sort(seconds.begin(), seconds.end());
    std::vector<BusySecond> all;
    for (std::size_t i = 0; i < seconds.size();) {
        std::size_t j = i;
        while (j < seconds.size() && seconds[j] == seconds[i]) {
            ++j;
        }
        all.push_back({seconds[i], j - i});
        i = j;
    }
    // Already in time order: a stable sort by count keeps earlier first.
    std::stable_sort(all.begin(), all.end(),
                     [](const BusySecond& a, const BusySecond& b) { return a.rows > b.rows; });
    all.resize(std::min(all.size(), count));
    return all;
}

}  // namespace korvantis

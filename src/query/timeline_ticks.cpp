#include "query/timeline_ticks.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace korvantis {

namespace {

constexpr std::int64_t kDay = 86400 * kTimeValueSecond;

// What a step is counted in: fixed lengths, or calendar months.
struct Step {
    std::int64_t length;  // in ns; for months, the number of months
    bool months;
    int digits;  // of the time of day shown: 5 "HH:MM", 8 "HH:MM:SS", 12, 15, 18; 0 none
};

std::vector<Step> steps() {
    std::vector<Step> out;
    const std::array<std::int64_t, 9> decimal = {1, 2, 5, 10, 20, 50, 100, 200, 500};
    const std::array<std::int64_t, 3> subSecond = {1, 1000, 1'000'000};
    const std::array<int, 3> subDigits = {18, 15, 12};
    for (std::size_t unit = 0; unit < subSecond.size(); ++unit) {
        for (const std::int64_t n : decimal) {
            out.push_back({n * subSecond[unit], false, subDigits[unit]});
        }
    }
    for (const std::int64_t n : {1, 2, 5, 10, 15, 30}) {
        out.push_back({n * kTimeValueSecond, false, 8});
    }
    for (const std::int64_t n : {1, 2, 5, 10, 15, 30}) {
        out.push_back({n * 60 * kTimeValueSecond, false, 5});
    }
    for (const std::int64_t n : {1, 3, 6, 12}) {
        out.push_back({n * 3600 * kTimeValueSecond, false, 5});
    }
    for (const std::int64_t n : {1, 2, 7, 14}) {
        out.push_back({n * kDay, false, 0});
    }
    for (const std::int64_t n : {1, 3, 6, 12, 24, 60, 120, 240, 600, 1200}) {
        out.push_back({n, true, 0});
    }
    return out;
}

// Civil dates (proleptic Gregorian) and days since 1970-01-01.
std::int64_t daysFromCivil(std::int64_t y, std::int64_t m, std::int64_t d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// Months since 1970-01 of the month holding `time`.
std::int64_t monthOf(TimeValue time) {
    const std::string text = formatUtc(time);  // YYYY-MM-...
    const std::int64_t y = std::stoll(text.substr(0, text.find('-', 1)));
    const std::size_t dash = text.find('-', 1);
    const std::int64_t m = std::stoll(text.substr(dash + 1, 2));
    return (y - 1970) * 12 + (m - 1);
}

TimeValue monthStart(std::int64_t month) {
    const std::int64_t y = 1970 + floorDiv(month, 12);
    const std::int64_t m = month - floorDiv(month, 12) * 12 + 1;
    return daysFromCivil(y, m, 1) * kDay;
}

std::vector<TimeValue> tickTimes(const Step& step, TimeValue from, TimeValue to) {
    std::vector<TimeValue> out;
    if (step.months) {
        std::int64_t month = floorDiv(monthOf(from) + step.length - 1, step.length) * step.length;
        // The first month start at or after `from`.
        while (monthStart(month) < from) {
            month += step.length;
        }
        for (; monthStart(month) < to; month += step.length) {
            out.push_back(monthStart(month));
        }
        return out;
    }
    for (TimeValue t = floorDiv(from + step.length - 1, step.length) * step.length; t < to;
         t += step.length) {
        out.push_back(t);
    }
    return out;
}

std::string labelOf(const Step& step, TimeValue at, bool dated) {
    const std::string utc = formatUtc(at);  // YYYY-MM-DDTHH:MM:SS.nnnnnnnnnZ
    const std::size_t t = utc.find('T');
    if (step.months) {
        return step.length % 12 == 0 ? utc.substr(0, t - 6) : utc.substr(0, t - 3);
    }
    if (step.digits == 0) {
        return utc.substr(0, t);
    }
    std::string time = utc.substr(t + 1, static_cast<std::size_t>(step.digits));
    return dated ? utc.substr(0, t) + " " + time : time;
}

}  // namespace

std::vector<TimelineTick> timelineTicks(TimeValue from, TimeValue to, int width,
                                        const std::function<int(std::string_view)>& textWidth) {
    if (to <= from || width <= 0) {
        return {};
    }
    constexpr int kGap = 16;
    const double pixelsPerNs = static_cast<double>(width) / static_cast<double>(to - from);
    const auto xOf = [&](TimeValue at) { return static_cast<double>(at - from) * pixelsPerNs; };
    const std::vector<Step> all = steps();
    for (std::size_t s = 0; s < all.size(); ++s) {
        const Step& step = all[s];
        // Far too many ticks: not even worth making them.
        const double approxLength = step.months ? static_cast<double>(step.length) * 30.4 * kDay
                                                : static_cast<double>(step.length);
        if (approxLength * pixelsPerNs < 20 && s + 1 < all.size()) {
            continue;
        }
        const std::vector<TimeValue> times = tickTimes(step, from, to);
        // The step fits when the labels without a date (the most of them)
        // stand apart; a dated one may take the room of the next few.
        bool fits = true;
        for (std::size_t i = 1; i < times.size() && fits; ++i) {
            fits = xOf(times[i]) - xOf(times[i - 1]) >=
                   textWidth(labelOf(step, times[i - 1], false)) + kGap;
        }
        if (!fits && s + 1 < all.size()) {
            continue;
        }
        if (times.empty()) {
            // A step longer than the span: its start, dated, to that step.
            return {TimelineTick{from, labelOf(step, from, true)}};
        }
        std::vector<TimelineTick> ticks;
        double labelEnd = -1e300;
        std::int64_t previousDay = INT64_MIN;
        bool dateOwed = true;  // the first label carries the date
        for (const TimeValue at : times) {
            const std::int64_t day = floorDiv(at, kDay);
            dateOwed = dateOwed || day != previousDay;
            previousDay = day;
            TimelineTick tick{at, {}};
            const std::string label = labelOf(step, at, dateOwed);
            // A label that would run into the one before is left out; the
            // date it owed goes to the next one.
            if (xOf(at) >= labelEnd + kGap) {
                tick.label = label;
                labelEnd = xOf(at) + textWidth(label);
                dateOwed = false;
            }
            ticks.push_back(std::move(tick));
        }
        return ticks;
    }
    return {};
}

}  // namespace korvantis

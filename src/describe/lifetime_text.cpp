#include "describe/lifetime_text.h"

#include <algorithm>
#include <cstdint>

#include "describe/duration_text.h"
#include "store/event_store.h"

namespace korvantis {

namespace {

bool bothTimed(const RowView& a, const RowView& b) {
    return a.time != kNoTimeValue && b.time != kNoTimeValue;
}

// " after 3 ms" from `start` to `end`; a clock that stepped back gives no
// negative span but " at the same time or earlier". A span too long to
// count (times at the far ends of the range) is the longest one.
std::string spanText(const RowView& start, const RowView& end, const char* before) {
    if (end.time < start.time) {
        return " at the same time or earlier";
    }
    const std::uint64_t span =
        static_cast<std::uint64_t>(end.time) - static_cast<std::uint64_t>(start.time);
    return before + durationText(static_cast<std::int64_t>(
                        std::min<std::uint64_t>(span, static_cast<std::uint64_t>(INT64_MAX))));
}

}  // namespace

std::string lifetimeText(const RowView& start, LifetimeEnd::How how, const RowView& end) {
    switch (how) {
        case LifetimeEnd::How::untracked:
            return {};
        case LifetimeEnd::How::running:
            return "still running at the end of the log";
        case LifetimeEnd::How::exited: {
            std::string text = !bothTimed(start, end)  ? "ended"
                               : end.time < start.time ? "ended" + spanText(start, end, "")
                                                       : "ran" + spanText(start, end, " ");
            const std::string_view status = end.facts[Fact::summary];
            if (!status.empty()) {
                text += ", ";
                text += status;
            }
            return text;
        }
        case LifetimeEnd::How::unseen:
            return "ended unseen before " + std::string(end.timestamp) + " (its pid was reused)";
        case LifetimeEnd::How::became: {
            std::string text = "became " + std::string(end.path);
            if (bothTimed(start, end)) {
                text += spanText(start, end, " after ");
            }
            return text;
        }
    }
    return {};
}

std::string endedRowText(const RowView& start) {
    std::string text(start.type);
    text += " of ";
    text += start.path;
    text += " at ";
    text += start.timestamp;
    return text;
}

std::string processLifetimeText(const EventStore& store, RowIndex procRow) {
    const LifetimeEnd end = store.lifetimes().endOf(procRow.value());
    const RowView start = store.rows(RowKind::process).rowView(procRow.value());
    switch (end.how) {
        case LifetimeEnd::How::exited:
            return lifetimeText(start, end.how, store.rows(RowKind::other).rowView(end.row));
        case LifetimeEnd::How::became:
        case LifetimeEnd::How::unseen:
            return lifetimeText(start, end.how, store.rows(RowKind::process).rowView(end.row));
        default:
            return lifetimeText(start, end.how, RowView{});
    }
}

std::string exitEndsText(const EventStore& store, RowIndex otherRow) {
    const std::optional<std::size_t> start = store.lifetimes().endedBy(otherRow.value());
    return start ? endedRowText(store.rows(RowKind::process).rowView(*start)) : std::string();
}

}  // namespace korvantis

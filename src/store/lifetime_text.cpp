#include "store/lifetime_text.h"

#include "store/duration_text.h"
#include "store/event_store.h"

namespace korvantis {

namespace {

bool bothTimed(const FilterRow& a, const FilterRow& b) {
    return a.time != kNoTimeValue && b.time != kNoTimeValue;
}

}  // namespace

std::string lifetimeText(const FilterRow& start, LifetimeEnd::How how, const FilterRow& end) {
    switch (how) {
        case LifetimeEnd::How::untracked:
            return {};
        case LifetimeEnd::How::running:
            return "still running at the end of the log";
        case LifetimeEnd::How::exited: {
            std::string text =
                bothTimed(start, end) ? "ran " + durationText(end.time - start.time) : "ended";
            const std::string_view status = end.facts[Fact::summary];
            if (!status.empty()) {
                text += ", ";
                text += status;
            }
            return text;
        }
        case LifetimeEnd::How::became: {
            std::string text = "became " + std::string(end.path);
            if (bothTimed(start, end)) {
                text += " after " + durationText(end.time - start.time);
            }
            return text;
        }
    }
    return {};
}

std::string endedRowText(const FilterRow& start) {
    std::string text(start.type);
    text += " of ";
    text += start.path;
    text += " at ";
    text += start.timestamp;
    return text;
}

std::string processLifetimeText(const EventStore& store, std::size_t procRow) {
    const LifetimeEnd end = store.lifetimes().endOf(procRow);
    const FilterRow start = store.procPreviews().filterRow(procRow);
    switch (end.how) {
        case LifetimeEnd::How::exited:
            return lifetimeText(start, end.how, store.otherPreviews().filterRow(end.row));
        case LifetimeEnd::How::became:
            return lifetimeText(start, end.how, store.procPreviews().filterRow(end.row));
        default:
            return lifetimeText(start, end.how, FilterRow{});
    }
}

std::string exitEndsText(const EventStore& store, std::size_t otherRow) {
    const std::optional<std::size_t> start = store.lifetimes().endedBy(otherRow);
    return start ? endedRowText(store.procPreviews().filterRow(*start)) : std::string();
}

}  // namespace korvantis

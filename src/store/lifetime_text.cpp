#include "store/lifetime_text.h"

#include "store/duration_text.h"
#include "store/event_store.h"

namespace korvantis {

namespace {

bool bothTimed(const RowView& a, const RowView& b) {
    return a.time != kNoTimeValue && b.time != kNoTimeValue;
}

}  // namespace

std::string lifetimeText(const RowView& start, LifetimeEnd::How how, const RowView& end) {
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

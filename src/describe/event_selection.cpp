#include "describe/event_selection.h"

#include <utility>

#include "describe/facts_card.h"
#include "describe/lifetime_text.h"
#include "store/event_store.h"
#include "store/log_files.h"

namespace korvantis {

namespace {

constexpr std::string_view kNoEvent = "ERROR: No Event Found";

}  // namespace

EventSelection::EventSelection(const EventStore& store, StoreObservers& observers)
    : store_(store), observers_(observers) {}

EventSelection::DetailRequest EventSelection::choose(LinePlace place) {
    // A line makes at most one row, so it is the active row of one kind.
    DetailRequest request;
    request.choice = ++lastChoice_;
    cardPlace_.reset();
    if (place.value() >= store_.lineRefs().size()) {
        return request;
    }
    if (const auto row = store_.rowAt(place)) {
        const RowView view = store_.rows(row->kind)[row->index.value()];
        observers_.announce(activeRowField(row->kind));
        active_[row->kind] = ActiveRow{place, view};
        cardPlace_ = place;
    }
    request.line = store_.lineRefs().ref(place);
    request.logs = store_.sharedLogFiles();
    return request;
}

std::string EventSelection::activeEventCard() const {
    const std::optional<EventStore::RowPlace> row =
        cardPlace_ ? store_.rowAt(*cardPlace_) : std::nullopt;
    if (!row) {
        return {};
    }
    const RowView view = store_.rows(row->kind)[row->index.value()];
    return factsCardText(view, row->kind == RowKind::process
                                   ? processLifetimeText(store_, row->index)
                               : row->kind == RowKind::other ? exitEndsText(store_, row->index)
                                                             : std::string());
}

void EventSelection::selectEvent(LinePlace place) {
    const DetailRequest request = choose(place);
    observers_.announce(StoreField::activeEventJson);
    detail_ = detailFor(request);
    pending_ = 0;
}

EventSelection::DetailRequest EventSelection::chooseEvent(LinePlace place) {
    DetailRequest request = choose(place);
    // The card comes from the row, so it is shown at once, before the detail.
    observers_.announce(StoreField::activeEventJson);
    pending_ = request.choice;
    return request;
}

EventDetail EventSelection::detailFor(const DetailRequest& request) {
    if (!request.line || !request.logs) {
        return plainDetail(std::string(kNoEvent));
    }
    LineRead line = request.logs->read(*request.line);
    if (!line) {
        return plainDetail(readFailureText(line.failure));
    }
    return eventDetailOf(std::move(line));
}

bool EventSelection::setDetail(std::uint64_t choice, EventDetail detail) {
    if (choice != pending_) {
        return false;
    }
    observers_.announce(StoreField::activeEventJson);
    pending_ = 0;
    detail_ = std::move(detail);
    return true;
}

}  // namespace korvantis

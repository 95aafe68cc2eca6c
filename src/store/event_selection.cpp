#include "store/event_selection.h"

#include <utility>

#include "store/event_store.h"
#include "store/facts_card.h"
#include "store/lifetime_text.h"
#include "store/log_files.h"

namespace korvantis {

namespace {

constexpr std::string_view kNoEvent = "ERROR: No Event Found";

}  // namespace

EventSelection::EventSelection(const EventStore& store, StoreObservers& observers)
    : store_(store), observers_(observers) {}

EventSelection::DetailRequest EventSelection::choose(const Uuid& id) {
    // Ids are unique, so the entry found is the first match in its list; a
    // line makes at most one preview, so the process list taking precedence
    // over the file list never has to be decided.
    DetailRequest request;
    request.choice = ++lastChoice_;
    const std::optional<LinePlace> entry = store_.lineRefs().indexOf(id);
    cardEntry_ = entry;
    if (entry) {
        if (const auto proc = store_.procPreviewOf(*entry)) {
            observers_.announce(StoreField::activePreview);
            activePreview_ = store_.procPreviews()[proc->value()];
        } else if (const auto file = store_.filePreviewOf(*entry)) {
            observers_.announce(StoreField::activeFilePreview);
            activeFilePreview_ = store_.filePreviews()[file->value()];
        } else if (const auto other = store_.otherPreviewOf(*entry)) {
            observers_.announce(StoreField::activeOtherPreview);
            activeOtherPreview_ = store_.otherPreviews()[other->value()];
        }
        request.line = store_.lineRefs().ref(*entry);
        request.logs = store_.sharedLogFiles();
    }
    return request;
}

std::string EventSelection::activeEventCard() const {
    if (!cardEntry_) {
        return {};
    }
    if (const auto proc = store_.procPreviewOf(*cardEntry_)) {
        return factsCardText(store_.procPreviews().rowView(proc->value()),
                             processLifetimeText(store_, *proc));
    }
    if (const auto file = store_.filePreviewOf(*cardEntry_)) {
        return factsCardText(store_.filePreviews().rowView(file->value()));
    }
    if (const auto other = store_.otherPreviewOf(*cardEntry_)) {
        return factsCardText(store_.otherPreviews().rowView(other->value()),
                             exitEndsText(store_, *other));
    }
    return {};
}

void EventSelection::selectEvent(const Uuid& id) {
    const DetailRequest request = choose(id);
    observers_.announce(StoreField::activeEventJson);
    detail_ = detailFor(request);
    pending_ = 0;
}

EventSelection::DetailRequest EventSelection::chooseEvent(const Uuid& id) {
    DetailRequest request = choose(id);
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

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

EventSelection::DetailRequest EventSelection::choose(const Uuid& id, std::string& card) {
    // Ids are unique, so the entry found is the first match in its list; a
    // line makes at most one preview, so the process list taking precedence
    // over the file list never has to be decided.
    DetailRequest request;
    request.choice = ++lastChoice_;
    const std::optional<LinePlace> entry = store_.lineRefs().indexOf(id);
    if (entry) {
        if (const auto proc = store_.procPreviewOf(*entry)) {
            observers_.announce(StoreField::activePreview);
            activePreview_ = store_.procPreviews()[proc->value()];
            card = factsCardText(store_.procPreviews().rowView(proc->value()),
                                 processLifetimeText(store_, *proc));
        } else if (const auto file = store_.filePreviewOf(*entry)) {
            observers_.announce(StoreField::activeFilePreview);
            activeFilePreview_ = store_.filePreviews()[file->value()];
            card = factsCardText(store_.filePreviews().rowView(file->value()));
        } else if (const auto other = store_.otherPreviewOf(*entry)) {
            observers_.announce(StoreField::activeOtherPreview);
            activeOtherPreview_ = store_.otherPreviews()[other->value()];
            card = factsCardText(store_.otherPreviews().rowView(other->value()),
                                 exitEndsText(store_, *other));
        }
        request.line = store_.lineRefs().ref(*entry);
        request.logs = store_.sharedLogFiles();
    }
    return request;
}

void EventSelection::selectEvent(const Uuid& id) {
    std::string card;
    const DetailRequest request = choose(id, card);
    observers_.announce(StoreField::activeEventJson);
    activeEventCard_ = std::move(card);
    detail_ = detailFor(request);
    pending_ = 0;
}

EventSelection::DetailRequest EventSelection::chooseEvent(const Uuid& id) {
    std::string card;
    DetailRequest request = choose(id, card);
    // The card comes from the row, so it is shown at once, before the detail.
    observers_.announce(StoreField::activeEventJson);
    activeEventCard_ = std::move(card);
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

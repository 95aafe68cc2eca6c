#include "store/event_selection.h"

#include "store/event_store.h"
#include "store/facts_card.h"
#include "store/pretty_json.h"

namespace korvantis {

namespace {

constexpr std::string_view kNoEvent = "ERROR: No Event Found";

}  // namespace

EventSelection::EventSelection(const EventStore& store, StoreObservers& observers)
    : store_(store), observers_(observers) {}

void EventSelection::selectEvent(const Uuid& id) {
    // Ids are unique, so the entry found is the first match in its list; a
    // line makes at most one preview, so the process list taking precedence
    // over the file list never has to be decided.
    const std::optional<std::size_t> entry = store_.jsonMapping().indexOf(id);
    std::string card;
    if (entry) {
        if (const auto proc = store_.procPreviewOf(*entry)) {
            observers_.announce(StoreField::activePreview);
            activePreview_ = store_.procPreviews()[*proc];
            card = factsCardText(store_.procPreviews().filterRow(*proc));
        } else if (const auto file = store_.filePreviewOf(*entry)) {
            observers_.announce(StoreField::activeFilePreview);
            activeFilePreview_ = store_.filePreviews()[*file];
            card = factsCardText(store_.filePreviews().filterRow(*file));
        } else if (const auto other = store_.otherPreviewOf(*entry)) {
            observers_.announce(StoreField::activeOtherPreview);
            activeOtherPreview_ = store_.otherPreviews()[*other];
            card = factsCardText(store_.otherPreviews().filterRow(*other));
        }
    }

    std::string detail;
    if (!entry) {
        detail = kNoEvent;
    } else if (std::optional<std::string> line = store_.lineText(*entry)) {
        detail = prettyPrintedJson(*line);
    } else {
        detail = kLogChangedText;
    }
    observers_.announce(StoreField::activeEventJson);
    activeEventJson_ = std::move(detail);
    activeEventCard_ = std::move(card);
}

}  // namespace korvantis

#pragma once

#include <optional>
#include <string>

#include "store/preview_entries.h"
#include "store/store_observers.h"
#include "store/uuid.h"

namespace korvantis {

class EventStore;

// The chosen process and file event of a window and the detail text of the
// last chosen event.
class EventSelection {
  public:
    EventSelection(const EventStore& store, StoreObservers& observers);

    const std::optional<ProcPreviewEntry>& activePreview() const { return activePreview_; }
    const std::optional<FilePreviewEntry>& activeFilePreview() const { return activeFilePreview_; }
    // The chosen other row (its own, as the Files tab has its own).
    const std::optional<OtherPreviewEntry>& activeOtherPreview() const {
        return activeOtherPreview_;
    }
    const std::string& activeEventJson() const { return activeEventJson_; }
    // The facts card of the last chosen event (see factsCardText); empty for
    // the viewer's own records. Changes with activeEventJson.
    const std::string& activeEventCard() const { return activeEventCard_; }

    // Makes the entry with `id` the active process or file event and sets the
    // detail text: the line read again from its log, in readable form.
    void selectEvent(const Uuid& id);

  private:
    const EventStore& store_;
    StoreObservers& observers_;
    std::optional<ProcPreviewEntry> activePreview_;
    std::optional<FilePreviewEntry> activeFilePreview_;
    std::optional<OtherPreviewEntry> activeOtherPreview_;
    std::string activeEventJson_;
    std::string activeEventCard_;
};

}  // namespace korvantis

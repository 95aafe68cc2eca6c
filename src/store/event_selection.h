#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "store/event_detail.h"
#include "store/line_ref.h"
#include "store/preview_entries.h"
#include "store/store_index.h"
#include "store/store_observers.h"
#include "store/uuid.h"

namespace korvantis {

class EventStore;
class LogFiles;

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
    // The whole readable form of the last chosen event whose detail is made.
    const std::string& activeEventJson() const { return detail_.text; }
    const EventDetail& activeDetail() const { return detail_; }
    // A choice was made whose detail is still being made.
    bool detailPending() const { return pending_ != 0; }
    // The facts card of the last chosen event (see factsCardText); empty for
    // the viewer's own records. Known with the choice, before its detail is
    // made, and read from the rows as they are now: a run that ended after
    // the choice (its exit loaded later) says how it ended.
    std::string activeEventCard() const;

    // Makes the entry with `id` the active process or file event and sets the
    // detail text: the line read again from its log, in readable form.
    void selectEvent(const Uuid& id);

    // The same in two steps, for a window that makes the detail on a worker
    // (a line can be hundreds of megabytes): chooseEvent() sets the active
    // entries and hands back what the worker needs; detailFor() runs there;
    // setDetail() takes its result back on this thread, unless a later
    // choice has been made meanwhile (then it returns false).
    struct DetailRequest {
        std::uint64_t choice = 0;
        std::optional<LineRef> line;  // nothing: the id names no event
        std::shared_ptr<const LogFiles> logs;
    };
    DetailRequest chooseEvent(const Uuid& id);
    static EventDetail detailFor(const DetailRequest& request);
    bool setDetail(std::uint64_t choice, EventDetail detail);

  private:
    // Sets the active entries and the card's row.
    DetailRequest choose(const Uuid& id);

    const EventStore& store_;
    StoreObservers& observers_;
    std::optional<ProcPreviewEntry> activePreview_;
    std::optional<FilePreviewEntry> activeFilePreview_;
    std::optional<OtherPreviewEntry> activeOtherPreview_;
    EventDetail detail_;
    std::uint64_t lastChoice_ = 0;
    std::uint64_t pending_ = 0;           // the choice waited for, or 0
    std::optional<LinePlace> cardEntry_;  // the row of the card; nothing: none
};

}  // namespace korvantis

#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "describe/event_detail.h"
#include "store/line_ref.h"
#include "store/row_kind.h"
#include "store/row_view.h"
#include "store/store_index.h"
#include "store/store_observers.h"

namespace korvantis {

class EventStore;
class LogFiles;

// The chosen row of each kind in a window (each list has its own) and the
// detail text of the last chosen event.
class EventSelection {
  public:
    EventSelection(const EventStore& store, StoreObservers& observers);

    // A chosen row: the stored line's place and the row it made.
    struct ActiveRow {
        LinePlace place;
        RowView row;
    };
    const std::optional<ActiveRow>& activeRow(RowKind kind) const { return active_[kind]; }
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

    // Makes the row of the stored line at `place` the active row of its kind
    // and sets the detail text: the line read again from its log, in
    // readable form.
    void selectEvent(LinePlace place);

    // The same in two steps, for a window that makes the detail on a worker
    // (a line can be hundreds of megabytes): chooseEvent() sets the active
    // entries and hands back what the worker needs; detailFor() runs there;
    // setDetail() takes its result back on this thread, unless a later
    // choice has been made meanwhile (then it returns false).
    struct DetailRequest {
        std::uint64_t choice = 0;
        std::optional<LineRef> line;  // nothing: the place holds no stored line
        std::shared_ptr<const LogFiles> logs;
    };
    DetailRequest chooseEvent(LinePlace place);
    static EventDetail detailFor(const DetailRequest& request);
    bool setDetail(std::uint64_t choice, EventDetail detail);

  private:
    // Sets the active entries and the card's row.
    DetailRequest choose(LinePlace place);

    const EventStore& store_;
    StoreObservers& observers_;
    PerKind<std::optional<ActiveRow>> active_;
    EventDetail detail_;
    std::uint64_t lastChoice_ = 0;
    std::uint64_t pending_ = 0;           // the choice waited for, or 0
    std::optional<LinePlace> cardPlace_;  // the line of the card's row; nothing: none
};

}  // namespace korvantis

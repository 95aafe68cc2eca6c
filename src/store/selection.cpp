// Selecting an event: the active entries and the detail text.

#include "store/event_keeper.h"
#include "store/pretty_json.h"

namespace korvantis {

namespace {

constexpr std::string_view kNoEvent = "ERROR: No Event Found";

}  // namespace

void EventKeeper::selectEvent(const Uuid& id) {
    // Ids are unique, so the entry found is the first match in its list; a
    // line makes at most one preview, so the process list taking precedence
    // over the file list never has to be decided.
    const std::optional<std::size_t> entry = jsonMapping_.indexOf(id);
    if (entry && isProcEntry_.test(*entry)) {
        announce(StoreField::activePreview);
        activePreview_ = procPreviews_[isProcEntry_.rank(*entry)];
    } else if (entry && isFileEntry_.test(*entry)) {
        announce(StoreField::activeFilePreview);
        activeFilePreview_ = filePreviews_[isFileEntry_.rank(*entry)];
    }

    std::string detail =
        entry ? prettyPrintedJson(jsonMapping_.entry(*entry).text) : std::string(kNoEvent);
    announce(StoreField::activeEventJson);
    activeEventJson_ = std::move(detail);
}

}  // namespace korvantis

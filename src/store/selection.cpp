// Selecting an event: the active entries and the detail text.

#include <cstdint>
#include <vector>

#include "store/event_keeper.h"
#include "store/pretty_json.h"

namespace korvantis {

namespace {

constexpr std::string_view kNoEvent = "ERROR: No Event Found";

std::size_t homeSlot(const std::vector<std::uint32_t>& slots, const Uuid& id) {
    return UuidHash{}(id) & (slots.size() - 1);
}

void insertSlot(std::vector<std::uint32_t>& slots, const Uuid& id, std::uint32_t value) {
    std::size_t i = homeSlot(slots, id);
    while (slots[i] != 0) {
        i = (i + 1) & (slots.size() - 1);
    }
    slots[i] = value;
}

}  // namespace

void EventKeeper::selectEvent(const Uuid& id) {
    // A linear search of a list of a million entries would take milliseconds
    // per click; the index makes a lookup constant time.
    const std::size_t total = procPreviews_.size() + filePreviews_.size();
    const std::size_t indexed = indexedProcPreviews_ + indexedFilePreviews_;
    auto idOf = [this](std::uint32_t value) -> const Uuid& {
        const std::size_t index = (value - 1) >> 1;
        return ((value - 1) & 1) ? filePreviews_[index].id : procPreviews_[index].id;
    };
    if (total != indexed) {
        if (previewSlots_.size() < 2 * total) {
            std::size_t cap = 1024;
            while (cap < 2 * total) {
                cap <<= 1;
            }
            std::vector<std::uint32_t> old = std::move(previewSlots_);
            previewSlots_.assign(cap, 0);
            for (std::uint32_t v : old) {
                if (v != 0) {
                    insertSlot(previewSlots_, idOf(v), v);
                }
            }
        }
        for (std::size_t i = indexedProcPreviews_; i < procPreviews_.size(); ++i) {
            insertSlot(previewSlots_, procPreviews_[i].id, static_cast<std::uint32_t>(i << 1) + 1);
        }
        for (std::size_t i = indexedFilePreviews_; i < filePreviews_.size(); ++i) {
            insertSlot(previewSlots_, filePreviews_[i].id,
                       static_cast<std::uint32_t>(i << 1 | 1) + 1);
        }
        indexedProcPreviews_ = procPreviews_.size();
        indexedFilePreviews_ = filePreviews_.size();
    }

    // Ids are unique, so the one match is also the first; a process entry
    // is preferred, as the process list is searched first.
    const std::uint32_t* procHit = nullptr;
    const std::uint32_t* fileHit = nullptr;
    if (!previewSlots_.empty()) {
        for (std::size_t i = homeSlot(previewSlots_, id); previewSlots_[i] != 0;
             i = (i + 1) & (previewSlots_.size() - 1)) {
            const std::uint32_t v = previewSlots_[i];
            if (idOf(v) == id) {
                const std::uint32_t*& hit = ((v - 1) & 1) ? fileHit : procHit;
                if (hit == nullptr) {
                    hit = &previewSlots_[i];
                }
            }
        }
    }
    if (procHit != nullptr) {
        announce(StoreField::activePreview);
        activePreview_ = procPreviews_[(*procHit - 1) >> 1];
    } else if (fileHit != nullptr) {
        announce(StoreField::activeFilePreview);
        activeFilePreview_ = filePreviews_[(*fileHit - 1) >> 1];
    }

    const std::optional<std::string_view> raw = jsonMapping_.find(id);
    std::string detail = raw ? prettyPrintedJson(*raw) : std::string(kNoEvent);
    announce(StoreField::activeEventJson);
    activeEventJson_ = std::move(detail);
}

}  // namespace korvantis

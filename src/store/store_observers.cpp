#include "store/store_observers.h"

#include <utility>

namespace korvantis {

StoreObservers::ObserverId StoreObservers::observe(Observer observer) {
    const ObserverId id = nextId_++;
    entries_.push_back(std::make_unique<Entry>(Entry{id, std::move(observer)}));
    return id;
}

void StoreObservers::unobserve(ObserverId id) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if ((*it)->id == id) {
            if (announcing_ > 0) {
                // It may be running right now: dropped once the telling ends.
                (*it)->removed = true;
                removedAny_ = true;
            } else {
                entries_.erase(it);
            }
            return;
        }
    }
}

void StoreObservers::announce(StoreField field) {
    const std::size_t count = entries_.size();
    if (count == 0) {
        return;
    }
    ++announcing_;
    try {
        for (std::size_t i = 0; i < count; ++i) {
            Entry* entry = entries_[i].get();
            if (!entry->removed) {
                entry->observer(field);
            }
        }
    } catch (...) {
        --announcing_;
        dropRemoved();
        throw;
    }
    --announcing_;
    dropRemoved();
}

void StoreObservers::dropRemoved() {
    if (announcing_ > 0 || !removedAny_) {
        return;
    }
    std::erase_if(entries_, [](const auto& entry) { return entry->removed; });
    removedAny_ = false;
}

}  // namespace korvantis

#include "store/json_mapping.h"

namespace korvantis {

namespace {

inline std::size_t slotOf(const Uuid& id, std::size_t mask) {
    return UuidHash{}(id)&mask;
}

}  // namespace

std::optional<LineRef> JsonMapping::find(const Uuid& id) const {
    const std::optional<std::size_t> index = indexOf(id);
    if (!index) {
        return std::nullopt;
    }
    return entries_[*index].ref;
}

std::optional<std::size_t> JsonMapping::indexOf(const Uuid& id) const {
    if (slots_.empty()) {
        return std::nullopt;
    }
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t s = slotOf(id, mask);; s = (s + 1) & mask) {
        const std::uint32_t v = slots_[s];
        if (v == 0) {
            return std::nullopt;
        }
        if (entries_[v - 1].id == id) {
            return v - 1;
        }
    }
}

void JsonMapping::insertFresh(const Uuid& id, const LineRef& ref) {
    // Keep the load factor at most one half, so probes stay short.
    if ((entries_.size() + 1) * 2 > slots_.size()) {
        grow();
    }
    const std::size_t mask = slots_.size() - 1;
    std::size_t s = slotOf(id, mask);
    while (slots_[s] != 0) {
        s = (s + 1) & mask;
    }
    entries_.push_back(Entry{id, ref});
    slots_[s] = static_cast<std::uint32_t>(entries_.size());
}

void JsonMapping::grow() {
    const std::size_t newSize = slots_.empty() ? 1024 : slots_.size() * 2;
    std::vector<std::uint32_t>().swap(slots_);  // free before allocating anew
    slots_.assign(newSize, 0);
    const std::size_t mask = newSize - 1;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        std::size_t s = slotOf(entries_[i].id, mask);
        while (slots_[s] != 0) {
            s = (s + 1) & mask;
        }
        slots_[s] = static_cast<std::uint32_t>(i + 1);
    }
}

}  // namespace korvantis

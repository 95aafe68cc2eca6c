#include "store/json_mapping.h"

#include "store/uuid.h"

namespace korvantis {

namespace {

inline std::size_t slotOf(const Uuid& id, std::size_t mask) {
    return UuidHash{}(id)&mask;
}

}  // namespace

std::uint64_t JsonMapping::pack(std::string_view text) {
    const auto address = reinterpret_cast<std::uintptr_t>(text.data());
    if (text.size() >= kLongText || (std::uint64_t{address} >> 48) != 0) {
        return kLongText;
    }
    return std::uint64_t{address} << 16 | text.size();
}

std::string_view JsonMapping::textOf(std::size_t i) const {
    const std::uint64_t ref = entries_[i].ref;
    if ((ref & kLongText) == kLongText) {
        return unpacked_.at(i);
    }
    return {reinterpret_cast<const char*>(static_cast<std::uintptr_t>(ref >> 16)),
            static_cast<std::size_t>(ref & kLongText)};
}

void JsonMapping::store(std::size_t i, std::string_view text) {
    const std::uint64_t ref = pack(text);
    entries_[i].ref = ref;
    if (ref == kLongText) {
        unpacked_[i] = text;
    }
}

std::optional<std::string_view> JsonMapping::find(const Uuid& id) const {
    const std::optional<std::size_t> index = indexOf(id);
    if (!index) {
        return std::nullopt;
    }
    return textOf(*index);
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

void JsonMapping::insertFresh(const Uuid& id, std::string_view text) {
    // Keep the load factor at most one half, so probes stay short.
    if ((entries_.size() + 1) * 2 > slots_.size()) {
        grow();
    }
    const std::size_t mask = slots_.size() - 1;
    std::size_t s = slotOf(id, mask);
    while (slots_[s] != 0) {
        s = (s + 1) & mask;
    }
    entries_.push_back(Packed{id, 0});
    store(entries_.size() - 1, text);
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

#include "store/interned_texts.h"

#include "store/line_ref.h"

namespace korvantis {

std::string_view InternedTexts::intern(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const std::uint64_t hash = lineChecksum(text);
    // The top bits choose the shard, the low bits the slot within it.
    Shard& shard = shards_[hash >> 60];
    std::lock_guard lock(shard.mutex);
    if ((shard.used + 1) * 2 > shard.table.size()) {
        shard.grow();
    }
    const std::size_t mask = shard.table.size() - 1;
    for (std::size_t s = hash & mask;; s = (s + 1) & mask) {
        Slot& slot = shard.table[s];
        if (slot.text.data() == nullptr) {
            slot.hash = hash;
            slot.text = shard.arena.store(text);
            ++shard.used;
            return slot.text;
        }
        if (slot.hash == hash && slot.text == text) {
            return slot.text;
        }
    }
}

void InternedTexts::Shard::grow() {
    std::vector<Slot> old;
    old.swap(table);
    table.resize(old.empty() ? 256 : old.size() * 2);
    const std::size_t mask = table.size() - 1;
    for (const Slot& slot : old) {
        if (slot.text.data() == nullptr) {
            continue;
        }
        std::size_t s = slot.hash & mask;
        while (table[s].text.data() != nullptr) {
            s = (s + 1) & mask;
        }
        table[s] = slot;
    }
}

}  // namespace korvantis

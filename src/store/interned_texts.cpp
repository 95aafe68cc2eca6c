#include "store/interned_texts.h"

#include "store/line_ref.h"

namespace korvantis {

std::string_view InternedTexts::intern(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    if ((used_ + 1) * 2 > slots_.size()) {
        grow();
    }
    const std::uint64_t hash = lineChecksum(text);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t s = hash & mask;; s = (s + 1) & mask) {
        Slot& slot = slots_[s];
        if (slot.text.data() == nullptr) {
            slot.hash = hash;
            slot.text = arena_.store(text);
            ++used_;
            return slot.text;
        }
        if (slot.hash == hash && slot.text == text) {
            return slot.text;
        }
    }
}

void InternedTexts::grow() {
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.resize(old.empty() ? 1024 : old.size() * 2);
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
        if (slot.text.data() == nullptr) {
            continue;
        }
        std::size_t s = slot.hash & mask;
        while (slots_[s].text.data() != nullptr) {
            s = (s + 1) & mask;
        }
        slots_[s] = slot;
    }
}

}  // namespace korvantis

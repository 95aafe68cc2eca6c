#include "query/text_tally.h"

#include <cstdint>
#include <unordered_map>

namespace korvantis {

std::size_t TextTally::slotOf(const char* data, std::size_t size) const {
    const std::size_t mask = slots_.size() - 1;
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    std::size_t i = static_cast<std::size_t>((start ^ size) * 0x9E3779B97F4A7C15ull >> 20) & mask;
    while (slots_[i].place != kFree && (slots_[i].data != data || slots_[i].size != size)) {
        i = (i + 1) & mask;
    }
    return i;
}

void TextTally::grow() {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    for (const Slot& slot : old) {
        if (slot.place != kFree) {
            slots_[slotOf(slot.data, slot.size)] = slot;
        }
    }
}

std::uint32_t TextTally::add(std::string_view text) {
    if (text.data() != lastData_ || text.size() != lastSize_) {
        std::size_t i = slotOf(text.data(), text.size());
        if (slots_[i].place == kFree) {
            if ((texts_.size() + 1) * 2 > slots_.size()) {
                grow();
                i = slotOf(text.data(), text.size());
            }
            slots_[i] = {text.data(), text.size(), static_cast<std::uint32_t>(texts_.size())};
            texts_.push_back(text);
            counts_.push_back(0);
        }
        lastData_ = text.data();
        lastSize_ = text.size();
        lastPlace_ = slots_[i].place;
    }
    ++counts_[lastPlace_];
    return lastPlace_;
}

TextTally::Merged TextTally::merged() const {
    Merged m;
    std::unordered_map<std::string_view, std::uint32_t> byText;
    m.textOfPlace.reserve(texts_.size());
    for (std::size_t place = 0; place < texts_.size(); ++place) {
        const auto [it, added] =
            byText.try_emplace(texts_[place], static_cast<std::uint32_t>(m.texts.size()));
        if (added) {
            m.texts.push_back(texts_[place]);
            m.counts.push_back(0);
        }
        m.counts[it->second] += counts_[place];
        m.textOfPlace.push_back(it->second);
    }
    return m;
}

}  // namespace korvantis

// The copied texts of a book's marks.

#include "investigation/kept_mark_texts.h"

#include <algorithm>
#include <functional>

namespace korvantis {

KeptMarkTexts::KeptMarkTexts(MarkBook& book) {
    book.dropEmpty();
    auto arena = std::make_shared<TextArena>();
    byText_.reserve(book.size());
    // A mark's tags are mostly those of the mark before: copied once.
    std::string_view lastTags;
    std::string_view keptTags;
    for (const auto& [log, marks] : book.logs()) {
        for (const auto& [place, text] : marks) {
            if (text.tags != lastTags || keptTags.data() == nullptr) {
                lastTags = text.tags;
                keptTags = text.tags.empty() ? std::string_view() : arena->store(text.tags);
            }
            const std::string_view note =
                text.note.empty() ? std::string_view() : arena->store(text.note);
            byText_.push_back({&text, {keptTags, note}});
        }
    }
    // Each log's marks lie in one block of their own, in order; the logs'
    // blocks may lie in any order.
    std::sort(byText_.begin(), byText_.end(), [](const auto& a, const auto& b) {
        return std::less<const MarkText*>()(a.first, b.first);
    });
    arena_ = std::move(arena);
}

const KeptMarkTexts::Texts* KeptMarkTexts::find(const MarkText* text, std::size_t& next) const {
    if (next < byText_.size() && byText_[next].first == text) {
        return &byText_[next++].second;
    }
    const auto it = std::lower_bound(
        byText_.begin(), byText_.end(), text,
        [](const auto& k, const MarkText* t) { return std::less<const MarkText*>()(k.first, t); });
    if (it == byText_.end() || it->first != text) {
        return nullptr;
    }
    next = static_cast<std::size_t>(it - byText_.begin()) + 1;
    return &it->second;
}

}  // namespace korvantis

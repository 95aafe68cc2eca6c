#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace korvantis {

// A text its readers share without copying it: held in memory of its own,
// or read in place in memory the pointer keeps alive (a section of a mapped
// index, which reads as zeros if the file is cut short under it).
using SharedText = std::shared_ptr<const std::string_view>;

inline SharedText sharedText(std::string text) {
    // Made in place and never moved, so the view stays on its text.
    struct Owned {
        std::string text;
        std::string_view view;
    };
    auto owned = std::make_shared<Owned>();
    owned->text = std::move(text);
    owned->view = owned->text;
    return SharedText(owned, &owned->view);
}

inline SharedText sharedTextIn(std::string_view bytes, std::shared_ptr<const void> keeper) {
    struct InPlace {
        std::shared_ptr<const void> keeper;
        std::string_view view;
    };
    auto held = std::make_shared<InPlace>(InPlace{std::move(keeper), bytes});
    return SharedText(held, &held->view);
}

}  // namespace korvantis

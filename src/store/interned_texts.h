#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "store/text_arena.h"

namespace korvantis {

// Keeps each distinct text once: a log names the same few thousand paths
// over and over. Stored texts never move. Append-only.
class InternedTexts {
  public:
    // The stored copy of `text`, stored now if it was not yet.
    std::string_view intern(std::string_view text);
    std::size_t size() const { return used_; }

  private:
    void grow();

    struct Slot {
        std::uint64_t hash = 0;
        std::string_view text;  // empty data() = free slot
    };
    TextArena arena_;
    std::vector<Slot> slots_;
    std::size_t used_ = 0;
};

}  // namespace korvantis

#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace korvantis {

// Counts of texts over a million rows whose texts the store mostly keeps
// once and shares: a text is counted by its place (start and length), found
// without reading its bytes, and places that hold equal texts are merged
// only when the counts are read. The texts must outlive the tally.
class TextTally {
  public:
    // Counts `text` once; returns its place's number (from 0, in order of
    // first sight).
    std::uint32_t add(std::string_view text);

    // The distinct texts (in order of first sight) with their counts, and
    // for each place the index of its text among them.
    struct Merged {
        std::vector<std::string_view> texts;
        std::vector<std::uint64_t> counts;
        std::vector<std::uint32_t> textOfPlace;
    };
    Merged merged() const;

  private:
    // An open-addressing table from place to place number: one probe, and
    // mostly one cache miss, per row.
    struct Slot {
        const char* data = nullptr;
        std::size_t size = 0;
        std::uint32_t place = kFree;
    };
    static constexpr std::uint32_t kFree = UINT32_MAX;
    std::size_t slotOf(const char* data, std::size_t size) const;
    void grow();

    std::vector<Slot> slots_ = std::vector<Slot>(1024);
    std::vector<std::string_view> texts_;  // per place
    std::vector<std::uint64_t> counts_;    // per place
    // Rows in load order often repeat the last text: no lookup for those.
    const char* lastData_ = nullptr;
    std::size_t lastSize_ = SIZE_MAX;
    std::uint32_t lastPlace_ = 0;
};

}  // namespace korvantis

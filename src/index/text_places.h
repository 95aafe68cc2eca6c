#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace korvantis {

// The texts of a section of texts (each a 4-byte length and its bytes), by
// their order in it, found once and then read in place: 4 bytes a text
// instead of a view of 16. The length before a text is read again at each
// look-up, so that a section cut short under its mapping (read as zeros)
// gives empty texts, never bytes outside it.
class TextPlaces {
  public:
    TextPlaces() = default;
    // Nothing when a text runs past the section's end.
    static std::optional<TextPlaces> of(std::string_view section);

    std::size_t size() const { return low_.size(); }
    // Text `id`, which is below size().
    std::string_view operator[](std::size_t id) const;

  private:
    std::string_view section_;
    // The low 32 bits of each text's offset; the ids from which the offsets
    // are another 2^32 higher (a section of more than 4 GiB), in order.
    std::vector<std::uint32_t> low_;
    std::vector<std::uint32_t> wraps_;
};

}  // namespace korvantis

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "index/section_scan.h"

namespace korvantis {

// The texts of a section of texts (each a 4-byte length and its bytes), by
// their order in it, found once and then read in place: 4 bytes a text
// instead of a view of 16. The length before a text is read again at each
// look-up, so that a section cut short under its mapping (read as zeros)
// gives empty texts, never bytes outside it.
class TextPlaces {
  public:
    // Finds the places in a section's bytes given in pieces of any size
    // (as the index's check reads them).
    class Finder;

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

class TextPlaces::Finder final : public SectionScan {
  public:
    // With `check`, each text (at most `longest` bytes) is also given
    // to it whole, and the first it refuses fails the lot.
    explicit Finder(bool (*check)(std::string_view) = nullptr, std::size_t longest = 0)
        : check_(check), longest_(longest) {}
    void begin(std::uint64_t length) override;
    void add(std::string_view bytes) override;
    // The places, to be read in `section`, the bytes gone through;
    // nothing when a text runs past its end or one was refused.
    std::optional<TextPlaces> places(std::string_view section) &&;
    // Whether the whole of a section of `length` bytes went through.
    bool saw(std::uint64_t length) const { return begun_ && at_ == length; }

  private:
    void place();
    void startText(std::uint32_t length);
    void checkText(std::string_view text);

    bool (*check_)(std::string_view);
    std::size_t longest_;
    std::optional<TextPlaces> found_;
    bool begun_ = false;
    bool failed_ = false;
    std::uint64_t length_ = 0;
    std::uint64_t at_ = 0;    // within the section, of the next byte given
    std::uint64_t high_ = 0;  // the offsets' bits above the low 32 placed so far
    // A length or a checked text that the pieces split.
    char header_[4];
    std::size_t headerSize_ = 0;
    std::uint64_t textLeft_ = 0;
    std::string text_;
};

}  // namespace korvantis

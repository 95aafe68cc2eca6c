#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "index/journal_records.h"
#include "index/section_scan.h"
#include "index/text_places.h"
#include "store/ranked_bits.h"
#include "store/row_kind.h"

namespace korvantis {

class IndexFile;

// Whether `text` is facts as RowFactsBuilder encodes them, to its last byte.
bool isEncodedFacts(std::string_view text);

// Where the rows of a journal are, for reading them in place: per kind the
// line of each row, the lines that made none, per kind a bit per line, and
// each line's event type (a filter by type then reads no mapped page).
struct RowPlaces {
    PerKind<std::vector<std::uint32_t>> lineOf;
    std::vector<std::uint32_t> rowless;
    PerKind<RankedBits> bits;
    std::vector<std::uint8_t> types;
};

// The checks of a journal's lines and texts that go through them whole:
// every line record's kind, type, length and order, every text within its
// section, every set of facts encoded as it should be. Made as the index's
// check reads their bytes (see scans()), or else over the mapped sections.
class JournalScan {
  public:
    // With `placeRows`, the pass over the lines also notes where the rows
    // are: the lines are gone through once.
    explicit JournalScan(bool placeRows);
    JournalScan(const JournalScan&) = delete;
    JournalScan& operator=(const JournalScan&) = delete;

    // The scans to give IndexFile::open.
    std::span<const NamedScan> scans() const { return scans_; }
    // Goes through what the scans did not see whole of the sections of
    // `file`.
    void scanRest(const IndexFile& file);
    bool placesRows() const { return lines_.placeRows; }

    // What the lines showed: whether each was as it should be, how many
    // there are, where the furthest of them ends, the rows per kind.
    struct Lines final : SectionScan {
        explicit Lines(bool placeRows) : placeRows(placeRows) {}
        void begin(std::uint64_t length) override;
        void add(std::string_view bytes) override;

        bool placeRows;
        bool sound = true;
        std::uint64_t count = 0;  // as the section's length says
        std::uint64_t textEnd = 0;
        PerKind<std::uint64_t> rows{};
        std::optional<RowPlaces> places;
        std::uint64_t seen = 0;  // bytes gone through

      private:
        void line(const LineRecord& l);
        std::uint64_t next_ = 0;
        std::uint64_t lastOffset_ = 0;
        PerKind<std::uint64_t> words_{};
        char carry_[sizeof(LineRecord)] = {};
        std::size_t carried_ = 0;
    };
    Lines& lines() { return lines_; }
    TextPlaces::Finder& paths() { return paths_; }
    TextPlaces::Finder& facts() { return facts_; }

  private:
    Lines lines_;
    TextPlaces::Finder paths_;
    TextPlaces::Finder facts_;
    std::array<NamedScan, 3> scans_;
};

}  // namespace korvantis

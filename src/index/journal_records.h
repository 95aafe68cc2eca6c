#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace korvantis {

// The sections and fixed-size records of a load's journal in an index, as
// its writer lays them out and its readers read them in place.

namespace journal_section {
inline constexpr std::string_view kEnd = "journal-end";
inline constexpr std::string_view kLines = "journal-lines";
inline constexpr std::string_view kRows = "journal-rows";
inline constexpr std::string_view kTimestamps = "journal-timestamps";
inline constexpr std::string_view kPathTexts = "journal-paths";
inline constexpr std::string_view kFactTexts = "journal-facts";
inline constexpr std::string_view kErrors = "journal-errors";
inline constexpr std::string_view kErrorMessages = "journal-messages";
inline constexpr std::string_view kGaps = "journal-gaps";
}  // namespace journal_section

inline constexpr std::uint32_t kNoText = UINT32_MAX;
// The longest line a load keeps (longer ones are load errors).
inline constexpr std::uint64_t kLongestLine = std::uint64_t{256} << 20;

// A stored line: offset, checksum, length, then its row's kind (0: none,
// else the kind + 1) and event type.
struct LineRecord {
    std::uint64_t offset;
    std::uint64_t checksum;
    std::uint32_t length;
    std::uint8_t kind;
    std::uint8_t type;
    std::uint16_t unused;
};
static_assert(sizeof(LineRecord) == 24);

// A row, in the order of its line among the log's lines: its texts by
// their ids (facts kNoText: none), its numbers.
struct RowRecord {
    std::uint64_t timestampAt;
    std::uint32_t timestampLength;
    std::uint32_t path;
    std::uint32_t facts;
    std::uint32_t type;  // other rows: their type name among the paths
    std::int64_t pid;
    std::int64_t ppid;
    std::int64_t time;
};
static_assert(sizeof(RowRecord) == 48);

template <typename Record>
Record recordAt(std::string_view bytes, std::uint64_t i) {
    Record record;
    std::memcpy(&record, bytes.data() + i * sizeof(Record), sizeof record);
    return record;
}

}  // namespace korvantis

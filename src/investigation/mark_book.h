#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace korvantis {

// The longest note a mark holds, in bytes.
inline constexpr std::size_t kMaxNoteBytes = 64 * 1024;
// The longest tag, in characters.
inline constexpr std::size_t kMaxTagLength = 64;

// Whether `tag` is a tag word: 1 to 64 characters of A-Z a-z 0-9 _ . : -.
bool isTagWord(std::string_view tag);
// `tag` with its letters in lower case, as marks keep it.
std::string lowerTag(std::string_view tag);

// The line a mark belongs to: its number (from 1) in its log, and the
// checksum its bytes had when it was marked. A mark applies to the line
// only while the checksum still matches.
struct MarkPlace {
    std::uint64_t line = 0;
    std::uint64_t checksum = 0;
    auto operator<=>(const MarkPlace&) const = default;
};

// What a mark says: its tags, in lower case, sorted by byte order and
// joined by commas (a comma is never part of a tag), and its note.
struct MarkText {
    std::string tags;
    std::string note;
    bool empty() const { return tags.empty() && note.empty(); }
    bool hasTag(std::string_view tag) const;
    // Adds or removes a tag word already in lower case; false when it was
    // already there, or not there.
    bool addTag(std::string_view tag);
    bool removeTag(std::string_view tag);
};

// One log's marks, by line.
using LogMarks = std::map<MarkPlace, MarkText>;

// One change asked of the marks of chosen rows.
struct MarkEdit {
    enum class Kind : std::uint8_t { addTag, removeTag, setNote };
    Kind kind = Kind::addTag;
    std::string value;  // the tag in lower case, or the note ("" clears)
    // Applies it to `text`.
    void applyTo(MarkText& text) const;
};

// Every mark of a session, by the real path of its log.
class MarkBook {
  public:
    const std::map<std::string, LogMarks>& logs() const { return logs_; }
    // The marks of the log at `realPath`, made empty when it had none.
    LogMarks& marksOf(const std::string& realPath) { return logs_[realPath]; }
    // The marks of the log at `realPath`, or nothing.
    const LogMarks* find(const std::string& realPath) const;
    std::size_t size() const;
    // Drops the marks left with neither tags nor note, and logs left with
    // no marks.
    void dropEmpty();

  private:
    std::map<std::string, LogMarks> logs_;
};

}  // namespace korvantis

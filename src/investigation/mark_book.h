#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

// One change asked of the marks of chosen rows.
struct MarkEdit {
    enum class Kind : std::uint8_t { addTag, removeTag, setNote };
    Kind kind = Kind::addTag;
    std::string value;  // the tag in lower case, or the note ("" clears)
    // Applies it to `text`.
    void applyTo(MarkText& text) const;
};

// One log's marks, by line: a vector kept sorted, not a node per mark, as
// a query marks a million rows at once and the nodes cost more than the
// marking. Pointers into it last until the next change.
class LogMarks {
  public:
    using Entry = std::pair<MarkPlace, MarkText>;
    using iterator = std::vector<Entry>::iterator;
    using const_iterator = std::vector<Entry>::const_iterator;

    iterator begin() { return entries_.begin(); }
    iterator end() { return entries_.end(); }
    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }
    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    void reserve(std::size_t n) { entries_.reserve(n); }

    iterator find(const MarkPlace& place);
    const_iterator find(const MarkPlace& place) const;
    // The mark of `place`, made empty when there was none.
    MarkText& operator[](const MarkPlace& place);
    // Adds the mark of `place` unless it has one (then false); marks
    // added in ascending order go on the end at once.
    std::pair<iterator, bool> emplace(const MarkPlace& place, MarkText text);
    // Applies `edit` to the marks of all `places` (made when missing) in
    // one pass over the marks; marks it leaves empty are dropped.
    void editAll(std::vector<MarkPlace> places, const MarkEdit& edit);
    // Drops the marks with neither tags nor note.
    void dropEmpty();

  private:
    std::vector<Entry> entries_;
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

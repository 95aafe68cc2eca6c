// Marks: tag words, a mark's tag set, and the book of a session's marks.

#include "investigation/mark_book.h"

#include <algorithm>
#include <iterator>

namespace korvantis {

bool isTagWord(std::string_view tag) {
    return !tag.empty() && tag.size() <= kMaxTagLength &&
           std::all_of(tag.begin(), tag.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '_' || c == '.' || c == ':' || c == '-';
           });
}

std::string lowerTag(std::string_view tag) {
    std::string out(tag);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

namespace {

// Where `tag` stands in the comma-joined sorted `tags`, or where it would
// go: the offset of the first tag not below it.
std::size_t placeOf(std::string_view tags, std::string_view tag, bool& found) {
    std::size_t at = 0;
    found = false;
    while (at < tags.size()) {
        const std::size_t comma = tags.find(',', at);
        const std::size_t end = comma == std::string_view::npos ? tags.size() : comma;
        const std::string_view word = tags.substr(at, end - at);
        if (word >= tag) {
            found = word == tag;
            return at;
        }
        at = end + 1;
    }
    return tags.size();
}

}  // namespace

bool MarkText::hasTag(std::string_view tag) const {
    bool found = false;
    placeOf(tags, tag, found);
    return found;
}

bool MarkText::addTag(std::string_view tag) {
    bool found = false;
    const std::size_t at = placeOf(tags, tag, found);
    if (found) {
        return false;
    }
    if (tags.empty()) {
        tags = tag;
    } else if (at == tags.size()) {
        tags += ',';
        tags += tag;
    } else {
        tags.insert(at, std::string(tag) + ",");
    }
    return true;
}

bool MarkText::removeTag(std::string_view tag) {
    bool found = false;
    const std::size_t at = placeOf(tags, tag, found);
    if (!found) {
        return false;
    }
    if (at + tag.size() < tags.size()) {
        tags.erase(at, tag.size() + 1);  // with the comma after it
    } else {
        tags.erase(at == 0 ? 0 : at - 1);  // the last: with the comma before it
    }
    return true;
}

void MarkEdit::applyTo(MarkText& text) const {
    switch (kind) {
        case Kind::addTag:
            text.addTag(value);
            break;
        case Kind::removeTag:
            text.removeTag(value);
            break;
        case Kind::setNote:
            text.note = value;
            break;
    }
}

namespace {

template <typename Entries>
auto lowerBound(Entries& entries, const MarkPlace& place) {
    return std::lower_bound(entries.begin(), entries.end(), place,
                            [](const auto& e, const MarkPlace& p) { return e.first < p; });
}

}  // namespace

LogMarks::iterator LogMarks::find(const MarkPlace& place) {
    const auto it = lowerBound(entries_, place);
    return it != entries_.end() && it->first == place ? it : entries_.end();
}

LogMarks::const_iterator LogMarks::find(const MarkPlace& place) const {
    const auto it = lowerBound(entries_, place);
    return it != entries_.end() && it->first == place ? it : entries_.end();
}

MarkText& LogMarks::operator[](const MarkPlace& place) {
    return emplace(place, {}).first->second;
}

std::pair<LogMarks::iterator, bool> LogMarks::emplace(const MarkPlace& place, MarkText text) {
    if (entries_.empty() || entries_.back().first < place) {
        entries_.emplace_back(place, std::move(text));
        return {entries_.end() - 1, true};
    }
    const auto it = lowerBound(entries_, place);
    if (it != entries_.end() && it->first == place) {
        return {it, false};
    }
    return {entries_.emplace(it, place, std::move(text)), true};
}

void LogMarks::editAll(std::vector<MarkPlace> places, const MarkEdit& edit) {
    if (!std::is_sorted(places.begin(), places.end())) {
        std::sort(places.begin(), places.end());
    }
    places.erase(std::unique(places.begin(), places.end()), places.end());
    std::vector<Entry> merged;
    merged.reserve(entries_.size() + places.size());
    auto old = entries_.begin();
    for (const MarkPlace& place : places) {
        while (old != entries_.end() && old->first < place) {
            merged.push_back(std::move(*old++));
        }
        if (old != entries_.end() && old->first == place) {
            merged.push_back(std::move(*old++));
        } else {
            merged.emplace_back(place, MarkText{});
        }
        edit.applyTo(merged.back().second);
        if (merged.back().second.empty()) {
            merged.pop_back();
        }
    }
    std::move(old, entries_.end(), std::back_inserter(merged));
    entries_ = std::move(merged);
}

void LogMarks::dropEmpty() {
    std::erase_if(entries_, [](const Entry& e) { return e.second.empty(); });
}

const LogMarks* MarkBook::find(const std::string& realPath) const {
    const auto it = logs_.find(realPath);
    return it == logs_.end() ? nullptr : &it->second;
}

std::size_t MarkBook::size() const {
    std::size_t n = 0;
    for (const auto& [path, marks] : logs_) {
        n += marks.size();
    }
    return n;
}

void MarkBook::dropEmpty() {
    for (auto log = logs_.begin(); log != logs_.end();) {
        log->second.dropEmpty();
        log = log->second.empty() ? logs_.erase(log) : std::next(log);
    }
}

}  // namespace korvantis

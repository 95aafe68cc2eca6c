#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "describe/pretty_json.h"

namespace korvantis {

// What the detail area shows of a chosen event. `text` is the whole readable
// form (what "Copy to clipboard" copies and "Save event as…" writes); only
// its first `shownBytes` are laid out on screen, followed by `leftOutNote`
// when that is not all of it, and `notice` stands above it.
struct EventDetail {
    std::string text;
    std::string notice;
    std::size_t shownBytes = 0;
    std::string leftOutNote;
};

// How much of a readable form the detail area lays out, some four hundred
// lines: laying out more (with the isolates that keep paths in order) stalls
// the window past a frame or two on a busy machine; a mebibyte takes a
// second, a whole long line many seconds and hundreds of megabytes.
inline constexpr std::size_t kDetailShownBytes = std::size_t{32} << 10;

// The detail of a raw line, or of nothing (its log changed after loading).
// Any thread; takes a while for a long line.
EventDetail eventDetailOf(std::optional<std::string> line,
                          std::size_t shownLimit = kDetailShownBytes);
// A text shown as it is, whole ("ERROR: No Event Found").
EventDetail plainDetail(std::string text);

// "This line repeats keys (…); the lists use the first of each.", or nothing
// when no key repeats.
std::string repeatedKeysNotice(const ReadableJson& readable);

}  // namespace korvantis

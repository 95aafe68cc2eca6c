#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace korvantis {

// Where the text of a log is read again from when it is not its file as it
// is: a compressed log's text, readable at any offset without decompressing
// it from the start, or what came down a pipe, kept in a spool file. Filled
// while the log loads; safe to read from any thread meanwhile (what has been
// loaded so far can be read).
class LogText {
  public:
    virtual ~LogText() = default;
    // Up to `size` bytes of text from `offset` (fewer at its end), or -1.
    virtual ssize_t readAt(char* into, std::size_t size, std::uint64_t offset) const = 0;
};

}  // namespace korvantis

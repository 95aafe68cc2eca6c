#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace korvantis {

// The text of a compressed log, readable at any offset without decompressing
// it from the start. Filled while the log loads; safe to read from any thread
// meanwhile (what has been loaded so far can be read).
class DecompressedText {
  public:
    virtual ~DecompressedText() = default;
    // Up to `size` bytes of text from `offset` (fewer at its end), or -1.
    virtual ssize_t readAt(char* into, std::size_t size, std::uint64_t offset) const = 0;
};

}  // namespace korvantis

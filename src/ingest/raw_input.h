#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvantis {

// The bytes of a log as they are on disk (or come down a pipe), read in
// order, with a count of those taken so far. The first bytes can be looked
// at before they are taken. Does not own the descriptor.
class RawInput {
  public:
    explicit RawInput(int fd) : fd_(fd) {}

    // Up to `size` bytes; 0 at the end of the input (or on a read error).
    std::size_t read(char* into, std::size_t size);
    // The first `size` bytes not yet taken (fewer near the end); read()
    // still returns them.
    std::string_view peek(std::size_t size);
    // Bytes taken by read() so far: the offset of the next one.
    std::uint64_t taken() const { return taken_.load(std::memory_order_relaxed); }
    int fileDescriptor() const { return fd_; }

  private:
    std::size_t readFile(char* into, std::size_t size);

    int fd_;
    std::string peeked_;
    std::atomic<std::uint64_t> taken_{0};
};

}  // namespace korvantis

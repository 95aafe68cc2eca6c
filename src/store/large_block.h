#pragma once

#include <cstddef>

namespace korvantis {

// Fresh memory for the large append-only lists and arenas of a store. Blocks
// of at least 2 MiB are mapped on a 2 MiB boundary, and their whole 2 MiB
// pages offered to the kernel for transparent huge pages: filling a large log's rows then faults in
// one page per 2 MiB instead of one per 4 KiB, and a page fault costs several microseconds on a
// virtual machine. Smaller blocks come from the heap, so a small log does not take whole huge
// pages. The bytes are not initialised.
class LargeBlock {
  public:
    static constexpr std::size_t kHugePage = std::size_t{2} << 20;

    LargeBlock() = default;
    // Throws std::bad_alloc when the memory cannot be had.
    explicit LargeBlock(std::size_t bytes);
    ~LargeBlock() { release(); }
    LargeBlock(LargeBlock&& other) noexcept : data_(other.data_), size_(other.size_) {
        other.data_ = nullptr;
        other.size_ = 0;
    }
    LargeBlock& operator=(LargeBlock&& other) noexcept;
    LargeBlock(const LargeBlock&) = delete;
    LargeBlock& operator=(const LargeBlock&) = delete;

    char* data() const { return data_; }
    std::size_t size() const { return size_; }

  private:
    void release();

    char* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace korvantis

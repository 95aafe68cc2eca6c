#pragma once

#include <cstddef>

namespace korvantis {

// Fresh memory for the large append-only lists and arenas of a store. Blocks
// of at least 2 MiB are mapped on their own, so that a store cleared for the
// next log gives them back to the system at once; smaller ones come from the
// heap. They take ordinary pages: on a virtual machine a huge page's first
// touch can take milliseconds, and the UI thread, which files a load's rows,
// must not wait that long for one row. The bytes are not initialised.
class LargeBlock {
  public:
    static constexpr std::size_t kMappedFrom = std::size_t{2} << 20;

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

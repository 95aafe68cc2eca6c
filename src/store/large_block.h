#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace korvantis {

// Fresh memory for the large append-only lists and arenas of a store. Blocks
// of at least 2 MiB are mapped on their own, so that a store cleared for the
// next log gives them back to the system at once; smaller ones come from the
// heap. They take ordinary pages: on a virtual machine a huge page's first
// touch can take milliseconds, and the UI thread, which files a load's rows,
// must not wait that long for one row. The bytes are not initialised.
// Once a load that writes an index turns it on (keepInFolder), the blocks
// mapped on their own past the first 256 MiB of them are pages of an
// unnamed file beside the index instead of private memory: the kernel may
// write them out and drop them, so a large log's store does not have to fit
// in memory.
class LargeBlock {
  public:
    static constexpr std::size_t kMappedFrom = std::size_t{2} << 20;

    LargeBlock() = default;
    // Throws std::bad_alloc when the memory cannot be had.
    explicit LargeBlock(std::size_t bytes);
    ~LargeBlock() { release(); }
    LargeBlock(LargeBlock&& other) noexcept
        : data_(other.data_), size_(other.size_), fileAt_(other.fileAt_) {
        other.data_ = nullptr;
        other.size_ = 0;
        other.fileAt_ = -1;
    }
    LargeBlock& operator=(LargeBlock&& other) noexcept;
    LargeBlock(const LargeBlock&) = delete;
    LargeBlock& operator=(const LargeBlock&) = delete;

    // From now on, for the whole program, blocks mapped on their own lie in
    // an unnamed file in `folder`, each given its disk room before it is
    // used (a full disk gives private memory, never a fault on a write);
    // nothing changes when that file cannot be made. Blocks made before
    // stay where they are.
    static void keepInFolder(const std::string& folder);

    char* data() const { return data_; }
    std::size_t size() const { return size_; }

  private:
    void release();

    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::int64_t fileAt_ = -1;  // where in the blocks' file, if in it
};

}  // namespace korvantis

#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace korvantis {

// A file mapped read-only, which may be cut short under the mapping by
// another program without killing this one. The kernel answers a read of a
// mapped page past a file's end with SIGBUS; this program's handler, when
// the address lies in a mapping of this class, maps zeros over the whole
// mapping, marks it no longer intact, and the read goes on with zeros.
// Whoever reads the bytes checks intact() before trusting what they made
// of them, and keeps every offset it finds in them within bounds (zeros
// are as hostile as any other bytes).
class MappedFile {
  public:
    // The first `size` bytes of `fd` (size 0 maps nothing); nothing when
    // they cannot be mapped, and then `*whyNot` says why.
    static std::unique_ptr<MappedFile> map(int fd, std::uint64_t size,
                                           std::string* whyNot = nullptr);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    std::string_view bytes() const { return {static_cast<const char*>(base_), size_}; }
    // False once a read found the file shorter than the mapping.
    bool intact() const { return !cut_.load(std::memory_order_acquire); }

  private:
    MappedFile(void* base, std::size_t size) : base_(base), size_(size) {}
    void* base_;
    std::size_t size_;
    int slot_ = -1;
    std::atomic<bool> cut_{false};
};

}  // namespace korvantis

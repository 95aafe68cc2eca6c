#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

namespace korvantis::detail {

// The bytes of a batch's lines. Unlike a std::string it can grow by bytes
// that are not set first, so that a log is read straight into its batches
// instead of through a buffer of its own.
class BatchText {
  public:
    const char* data() const { return bytes_.get(); }
    char* data() { return bytes_.get(); }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    operator std::string_view() const { return {bytes_.get(), size_}; }

    void clear() { size_ = 0; }
    void reserve(std::size_t capacity) {
        if (capacity > capacity_) {
            auto bigger = std::make_unique_for_overwrite<char[]>(capacity);
            if (size_ != 0) {
                std::memcpy(bigger.get(), bytes_.get(), size_);
            }
            bytes_ = std::move(bigger);
            capacity_ = capacity;
        }
    }
    // `count` more bytes at the end, not set; where they start.
    char* extend(std::size_t count) {
        if (capacity_ - size_ < count) {
            reserve(std::max(capacity_ * 2, size_ + count));
        }
        size_ += count;
        return bytes_.get() + size_ - count;
    }
    // Keeps the first `size` bytes.
    void truncate(std::size_t size) { size_ = std::min(size, size_); }
    void append(std::string_view bytes) {
        if (!bytes.empty()) {
            std::memcpy(extend(bytes.size()), bytes.data(), bytes.size());
        }
    }
    void append(std::size_t count, char c) { std::memset(extend(count), c, count); }

  private:
    std::unique_ptr<char[]> bytes_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace korvantis::detail

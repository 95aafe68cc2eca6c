#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "input/log_text.h"

namespace korvantis {

// What zlib's window bits are to read a gzip member: its header and trailer
// around deflate data.
inline constexpr int kGzipWindowBits = 31;

// Where the text of a gzip log can be decompressed from without starting at
// its beginning: points recorded while it loads, every few MiB of text, each
// holding what inflate needs to resume there (the last 32 KiB of text before
// it and the bit position in the compressed bytes). Reading at an offset
// inflates from the point before it, and goes on from where the last read
// ended when that is nearer (reads in order cost no more than one pass).
class GzipIndex final : public LogText {
  public:
    // Text between two points, at least.
    static constexpr std::uint64_t kSpacing = std::uint64_t{4} << 20;

    struct Point {
        std::uint64_t out = 0;     // offset in the text
        std::uint64_t in = 0;      // offset in the compressed bytes
        int bits = 0;              // bits of the byte before `in` still to be used
        bool memberStart = false;  // `in` is the start of a gzip member
        std::string window;        // the text before `out` (up to 32 KiB)
    };

    // Reads the compressed bytes through its own copy of `fd`.
    explicit GzipIndex(int fd);
    ~GzipIndex() override;
    GzipIndex(const GzipIndex&) = delete;
    GzipIndex& operator=(const GzipIndex&) = delete;

    // Points come in text order.
    void add(Point point);
    std::size_t pointCount() const;
    // Bytes the points hold.
    std::size_t memoryBytes() const;

    ssize_t readAt(char* into, std::size_t size, std::uint64_t offset) const override;

    class Cursor;

  private:
    int fd_;
    mutable std::mutex mutex_;
    std::vector<Point> points_;
    std::size_t memoryBytes_ = 0;
    mutable std::unique_ptr<Cursor> cursor_;  // where the last read ended
};

}  // namespace korvantis

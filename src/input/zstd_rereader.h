#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "input/log_text.h"

struct ZSTD_DCtx_s;

namespace korvantis {

// The largest window a zstd log may ask for to be decoded: what
// `zstd -d --long=31` takes, less where it would take more than a quarter of
// the machine's memory (a window is decoder memory, as large as it says).
int zstdWindowLogMax();

// The text of a zstd log read again by decompressing it from its start, for
// when no block copy of it can be kept: reads in order go on from where the
// last one stopped, a read further back starts again from the start. Slow
// for reads out of order, but it needs no disk.
class ZstdRereader final : public LogText {
  public:
    // Reads the compressed bytes from `fd`, which it duplicates.
    explicit ZstdRereader(int fd);
    ~ZstdRereader() override;
    ZstdRereader(const ZstdRereader&) = delete;
    ZstdRereader& operator=(const ZstdRereader&) = delete;

    ssize_t readAt(char* into, std::size_t size, std::uint64_t offset) const override;

  private:
    // Decodes the next piece of text into window_; false at the end of the
    // text (errno set when it could not be read).
    bool decodeMore() const;
    void restart() const;

    int fd_;
    mutable std::mutex mutex_;
    mutable ZSTD_DCtx_s* dctx_;
    mutable std::vector<char> in_;
    mutable std::size_t inPos_ = 0;
    mutable std::size_t inSize_ = 0;
    mutable std::uint64_t inAt_ = 0;  // the file offset after in_'s bytes
    mutable std::vector<char> window_;
    mutable std::uint64_t windowStart_ = 0;  // text offset of window_[0]
    mutable std::size_t windowSize_ = 0;
    mutable bool ended_ = false;
};

}  // namespace korvantis

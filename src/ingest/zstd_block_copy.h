#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ingest/log_text.h"

struct ZSTD_CCtx_s;
struct ZSTD_DCtx_s;

namespace korvantis {

class CacheFile;

// A copy of a zstd log's text in the cache folder, made while it loads, of
// blocks compressed each on its own at a fast setting: one line is read
// again by decompressing the one block that holds it. (A zstd frame can only
// be decoded from its start, and a log is often a single frame.) Blocks are
// compressed on a thread of their own, beside the decompressing one; the
// text not written yet stays in memory (a few blocks at most).
class ZstdBlockCopy final : public LogText {
  public:
    static constexpr std::size_t kBlock = std::size_t{1} << 20;

    // Nothing when no file can be made in the cache folder.
    static std::shared_ptr<ZstdBlockCopy> create();
    ~ZstdBlockCopy() override;
    ZstdBlockCopy(const ZstdBlockCopy&) = delete;
    ZstdBlockCopy& operator=(const ZstdBlockCopy&) = delete;

    // The next text, from the loading thread (which waits while the
    // writing thread is a few blocks behind).
    void append(const char* text, std::size_t size);
    // Bytes written to the cache folder so far.
    std::uint64_t diskBytes() const;

    ssize_t readAt(char* into, std::size_t size, std::uint64_t offset) const override;

  private:
    explicit ZstdBlockCopy(std::unique_ptr<CacheFile> file);
    // The writing thread: compresses and writes the full blocks in order.
    void writeBlocks();
    // The text of block `b` when it is still in memory, or nothing.
    const std::string* blockInMemory(std::size_t b) const;
    // Puts block `b` in cached_; false when it cannot be read.
    bool loadBlock(std::size_t b) const;

    struct Block {
        std::uint64_t at;  // in the file
        std::size_t size;
    };

    std::unique_ptr<CacheFile> file_;
    ZSTD_CCtx_s* cctx_;
    std::string compressed_;  // the writing thread's room
    std::uint64_t fileEnd_ = 0;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Block> blocks_;     // block i holds the text [i * kBlock, (i + 1) * kBlock)
    std::deque<std::string> full_;  // the next blocks, not written yet
    std::string pending_;           // the text after them
    bool stopping_ = false;
    std::thread writer_;
    mutable ZSTD_DCtx_s* dctx_;
    mutable std::string cached_;  // the block read last
    mutable std::size_t cachedBlock_ = SIZE_MAX;
    mutable std::string compressedRead_;
};

}  // namespace korvantis

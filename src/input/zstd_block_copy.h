#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "input/log_text.h"

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
//
// The copy may take no more than half the free space its disk had when it
// was made, checked before each block is written. When it cannot be made,
// grows past that, or a write fails, it is dropped and the text is read
// again by decompressing the log from its start (ZstdRereader): slower, and
// told once by failure().
class ZstdBlockCopy final : public LogText {
  public:
    static constexpr std::size_t kBlock = std::size_t{1} << 20;

    // A copy of the text of the zstd log whose bytes `compressedFd` reads
    // (at any offset; duplicated for reading the log again without the
    // copy).
    static std::shared_ptr<ZstdBlockCopy> create(int compressedFd);
    ~ZstdBlockCopy() override;
    ZstdBlockCopy(const ZstdBlockCopy&) = delete;
    ZstdBlockCopy& operator=(const ZstdBlockCopy&) = delete;

    // The next text, from the loading thread (which waits while the
    // writing thread is a few blocks behind).
    void append(const char* text, std::size_t size);
    // Waits until the full blocks are written (or the copy is dropped).
    void finishWriting();
    // Bytes written to the cache folder so far.
    std::uint64_t diskBytes() const;
    // Why the copy was dropped, naming the folder and the system's reason;
    // empty while it is kept.
    std::string failure() const;

    ssize_t readAt(char* into, std::size_t size, std::uint64_t offset) const override;

  private:
    ZstdBlockCopy(std::unique_ptr<CacheFile> file, int compressedFd, std::string failure);
    // With the lock held: gives up the copy for `reason`, freeing its disk.
    void drop(std::string reason);
    // Whether a block of `size` bytes more still leaves the disk half the
    // free space it had; else why not.
    std::string roomFor(std::size_t size) const;
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

    std::unique_ptr<CacheFile> file_;  // none once dropped
    std::shared_ptr<const LogText> rereader_;
    std::uint64_t freeAtStart_ = 0;
    std::string failure_;
    ZSTD_CCtx_s* cctx_;
    std::string compressed_;  // the writing thread's room
    std::uint64_t fileEnd_ = 0;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Block> blocks_;     // block i holds the text [i * kBlock, (i + 1) * kBlock)
    std::size_t blocksDone_ = 0;    // blocks written or, once dropped, let go
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

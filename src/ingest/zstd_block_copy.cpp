#include "ingest/zstd_block_copy.h"

#include <unistd.h>
#include <zstd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "ingest/cache_file.h"
#include "ingest/full_io.h"

namespace korvantis {

namespace {

// Fast enough to keep up with the decompressing thread on a busy machine,
// small enough to stay within a few times the log's own size.
constexpr int kLevel = -5;

}  // namespace

std::shared_ptr<ZstdBlockCopy> ZstdBlockCopy::create() {
    auto file = CacheFile::create("copy");
    if (!file) {
        return nullptr;
    }
    return std::shared_ptr<ZstdBlockCopy>(new ZstdBlockCopy(std::move(file)));
}

ZstdBlockCopy::ZstdBlockCopy(std::unique_ptr<CacheFile> file)
    : file_(std::move(file)), cctx_(ZSTD_createCCtx()), dctx_(ZSTD_createDCtx()) {
    ZSTD_CCtx_setParameter(cctx_, ZSTD_c_compressionLevel, kLevel);
    compressed_.resize(ZSTD_compressBound(kBlock));
    pending_.reserve(kBlock);
    writer_ = std::thread(&ZstdBlockCopy::writeBlocks, this);
}

ZstdBlockCopy::~ZstdBlockCopy() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    writer_.join();
    ZSTD_freeCCtx(cctx_);
    ZSTD_freeDCtx(dctx_);
}

void ZstdBlockCopy::append(const char* text, std::size_t size) {
    constexpr std::size_t kBehindAtMost = 4;
    while (size > 0) {
        std::unique_lock lock(mutex_);
        const std::size_t take = std::min(size, kBlock - pending_.size());
        pending_.append(text, take);
        text += take;
        size -= take;
        if (pending_.size() == kBlock) {
            changed_.wait(lock, [&] { return full_.size() < kBehindAtMost; });
            full_.push_back(std::move(pending_));
            pending_ = std::string();
            pending_.reserve(kBlock);
            changed_.notify_all();
        }
    }
}

void ZstdBlockCopy::writeBlocks() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || !full_.empty(); });
        if (full_.empty()) {
            return;
        }
        // The front block stays where readers find it until it is written;
        // only this thread removes it.
        const std::string& text = full_.front();
        lock.unlock();
        const std::size_t size =
            ZSTD_compress2(cctx_, compressed_.data(), compressed_.size(), text.data(), text.size());
        Block block{fileEnd_, size};
        if (ZSTD_isError(size) ||
            !writeFully(file_->fileDescriptor(), compressed_.data(), size, fileEnd_)) {
            block.size = 0;  // reads of it fail
        } else {
            fileEnd_ += size;
        }
        lock.lock();
        blocks_.push_back(block);
        full_.pop_front();
        changed_.notify_all();
    }
}

const std::string* ZstdBlockCopy::blockInMemory(std::size_t b) const {
    if (b < blocks_.size()) {
        return nullptr;
    }
    b -= blocks_.size();
    if (b < full_.size()) {
        return &full_[b];
    }
    return b == full_.size() ? &pending_ : nullptr;
}

std::uint64_t ZstdBlockCopy::diskBytes() const {
    std::lock_guard lock(mutex_);
    return blocks_.empty() ? 0 : blocks_.back().at + blocks_.back().size;
}

bool ZstdBlockCopy::loadBlock(std::size_t b) const {
    if (cachedBlock_ == b) {
        return true;
    }
    const Block& block = blocks_[b];
    compressedRead_.resize(block.size);
    const ssize_t n = ::pread(file_->fileDescriptor(), compressedRead_.data(), block.size,
                              static_cast<off_t>(block.at));
    if (block.size == 0 || n != static_cast<ssize_t>(block.size)) {
        return false;
    }
    cached_.resize(kBlock);
    const std::size_t size =
        ZSTD_decompressDCtx(dctx_, cached_.data(), cached_.size(), compressedRead_.data(), n);
    if (ZSTD_isError(size) || size != kBlock) {
        cachedBlock_ = SIZE_MAX;
        return false;
    }
    cachedBlock_ = b;
    return true;
}

ssize_t ZstdBlockCopy::readAt(char* into, std::size_t size, std::uint64_t offset) const {
    std::lock_guard lock(mutex_);
    std::size_t done = 0;
    while (done < size) {
        const std::uint64_t at = offset + done;
        const std::size_t b = at / kBlock;
        std::string_view text;
        if (b < blocks_.size()) {
            if (!loadBlock(b)) {
                return -1;
            }
            text = cached_;
        } else if (const std::string* inMemory = blockInMemory(b)) {
            text = *inMemory;
        }
        const std::size_t within = at - std::uint64_t{b} * kBlock;
        if (within >= text.size()) {
            break;
        }
        const std::size_t n = std::min(size - done, text.size() - within);
        std::memcpy(into + done, text.data() + within, n);
        done += n;
    }
    return static_cast<ssize_t>(done);
}

}  // namespace korvantis

#include "input/zstd_block_copy.h"

#include <sys/statvfs.h>
#include <unistd.h>
#include <zstd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "input/cache_file.h"
#include "input/full_io.h"
#include "input/zstd_rereader.h"

namespace korvantis {

namespace {

// Fast enough to keep up with the decompressing thread on a busy machine,
// small enough to stay within a few times the log's own size.
constexpr int kLevel = -5;

// The free bytes of the disk `fd` is on, for this user; 0 when unknown.
std::uint64_t freeBytes(int fd) {
    struct statvfs st {};
    if (::fstatvfs(fd, &st) != 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
}

std::string folderOf(const std::string& path) {
    return path.substr(0, path.rfind('/'));
}

constexpr std::string_view kSlower =
    "; its lines are read again by decompressing the log from its start, which is slower.";

}  // namespace

std::shared_ptr<ZstdBlockCopy> ZstdBlockCopy::create(int compressedFd) {
    std::string whyNot;
    auto file = CacheFile::create("copy", &whyNot);
    std::string failure;
    if (!file) {
        failure =
            "No copy of the decompressed text could be made: " + whyNot + std::string(kSlower);
    }
    return std::shared_ptr<ZstdBlockCopy>(
        new ZstdBlockCopy(std::move(file), compressedFd, std::move(failure)));
}

ZstdBlockCopy::ZstdBlockCopy(std::unique_ptr<CacheFile> file, int compressedFd, std::string failure)
    : file_(std::move(file)),
      rereader_(std::make_shared<ZstdRereader>(compressedFd)),
      failure_(std::move(failure)),
      cctx_(ZSTD_createCCtx()),
      dctx_(ZSTD_createDCtx()) {
    if (file_) {
        freeAtStart_ = freeBytes(file_->fileDescriptor());
    }
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

void ZstdBlockCopy::finishWriting() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return full_.empty(); });
}

std::string ZstdBlockCopy::failure() const {
    std::lock_guard lock(mutex_);
    return failure_;
}

std::string ZstdBlockCopy::roomFor(std::size_t size) const {
    const std::uint64_t free = freeBytes(file_->fileDescriptor());
    if (free >= size && free - size >= freeAtStart_ / 2) {
        return {};
    }
    return "it would leave less than half of the " + std::to_string(freeAtStart_ >> 20) +
           " MiB that were free on its disk";
}

void ZstdBlockCopy::drop(std::string reason) {
    failure_ = "The copy of the decompressed text in the cache folder " + folderOf(file_->path()) +
               " could not be kept (" + reason + ")" + std::string(kSlower);
    file_.reset();  // its disk is free again
    blocks_.clear();
    cachedBlock_ = SIZE_MAX;
}

void ZstdBlockCopy::writeBlocks() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || !full_.empty(); });
        if (full_.empty()) {
            return;
        }
        if (!file_) {
            // No copy: the text is read again from the log.
            full_.pop_front();
            ++blocksDone_;
            changed_.notify_all();
            continue;
        }
        // The front block stays where readers find it until it is written;
        // only this thread removes it, and only it drops the file.
        const std::string& text = full_.front();
        const int fd = file_->fileDescriptor();
        lock.unlock();
        const std::size_t size =
            ZSTD_compress2(cctx_, compressed_.data(), compressed_.size(), text.data(), text.size());
        std::string failed;
        if (ZSTD_isError(size)) {
            failed = ZSTD_getErrorName(size);
        } else if (failed = roomFor(size); failed.empty()) {
            errno = 0;
            if (!writeFully(fd, compressed_.data(), size, fileEnd_)) {
                failed = std::strerror(errno != 0 ? errno : ENOSPC);
            }
        }
        lock.lock();
        if (!failed.empty()) {
            drop(std::move(failed));
        } else {
            blocks_.push_back(Block{fileEnd_, size});
            fileEnd_ += size;
        }
        full_.pop_front();
        ++blocksDone_;
        changed_.notify_all();
    }
}

const std::string* ZstdBlockCopy::blockInMemory(std::size_t b) const {
    // Blocks written, or dropped with the copy, come before those in memory.
    if (b < blocksDone_) {
        return nullptr;
    }
    b -= blocksDone_;
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
    if (n != static_cast<ssize_t>(block.size)) {
        if (n >= 0) {
            errno = EIO;  // the copy was cut short
        }
        return false;
    }
    cached_.resize(kBlock);
    const std::size_t size =
        ZSTD_decompressDCtx(dctx_, cached_.data(), cached_.size(), compressedRead_.data(), n);
    if (ZSTD_isError(size) || size != kBlock) {
        cachedBlock_ = SIZE_MAX;
        errno = EIO;
        return false;
    }
    cachedBlock_ = b;
    return true;
}

ssize_t ZstdBlockCopy::readAt(char* into, std::size_t size, std::uint64_t offset) const {
    std::unique_lock lock(mutex_);
    std::size_t done = 0;
    while (done < size) {
        const std::uint64_t at = offset + done;
        const std::size_t b = at / kBlock;
        std::string_view text;
        if (b < blocksDone_ && !file_) {
            // Dropped: read again from the log, without holding up the load.
            const std::uint64_t end = std::uint64_t{blocksDone_} * kBlock;
            const auto want =
                static_cast<std::size_t>(std::min<std::uint64_t>(size - done, end - at));
            lock.unlock();
            const ssize_t n = rereader_->readAt(into + done, want, at);
            lock.lock();
            if (n < 0) {
                return -1;
            }
            done += static_cast<std::size_t>(n);
            if (static_cast<std::size_t>(n) < want) {
                break;
            }
            continue;
        }
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

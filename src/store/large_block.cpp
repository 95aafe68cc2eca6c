#include "store/large_block.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <mutex>
#include <new>
#include <string>

namespace korvantis {

namespace {

constexpr std::size_t kPage = 4096;

// Private memory the blocks may take before they go to the file: a log of a
// few million lines stays in memory, where filling its blocks costs no disk
// writes, and only what grows past it is paged to the disk.
constexpr std::size_t kPrivateBudget = std::size_t{256} << 20;

// The file blocks are kept in once a load turned it on: open while the
// program runs (unnamed, it goes with it), each block at an offset of its
// own, its room given back to the disk when the block goes.
struct BlockFile {
    std::mutex mutex;
    std::string folder;  // where the file is to be made, once turned on
    int fd = -1;
    std::int64_t end = 0;
    std::size_t privateBytes = 0;  // of the blocks mapped from private memory

    static BlockFile& instance() {
        static BlockFile file;
        return file;
    }
    // A block of `bytes` in the file and where it lies, or MAP_FAILED.
    void* map(std::size_t bytes, std::int64_t& at) {
        std::lock_guard lock(mutex);
        if (folder.empty() || privateBytes + bytes <= kPrivateBudget) {
            return MAP_FAILED;
        }
        // Opened only when first needed: an open file keeps its file system
        // from being unmounted or made read-only under a long follow.
        if (fd < 0) {
            fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
            if (fd < 0) {
                folder.clear();
                return MAP_FAILED;
            }
        }
        if (::posix_fallocate(fd, end, static_cast<off_t>(bytes)) != 0) {
            return MAP_FAILED;
        }
        void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, end);
        if (p != MAP_FAILED) {
            at = end;
            end += static_cast<std::int64_t>(bytes);
        }
        return p;
    }
    void countPrivate(std::size_t bytes, bool taken) {
        std::lock_guard lock(mutex);
        privateBytes = taken ? privateBytes + bytes : privateBytes - bytes;
    }
    void giveBack(std::int64_t at, std::size_t bytes) {
        std::lock_guard lock(mutex);
        ::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, at, static_cast<off_t>(bytes));
    }
};

}  // namespace

void LargeBlock::keepInFolder(const std::string& folder) {
    BlockFile& file = BlockFile::instance();
    std::lock_guard lock(file.mutex);
    if (file.fd < 0) {
        file.folder = folder;
    }
}

LargeBlock::LargeBlock(std::size_t bytes) {
    if (bytes >= kMappedFrom) {
        size_ = (bytes + kPage - 1) / kPage * kPage;
        void* p = BlockFile::instance().map(size_, fileAt_);
        if (p == MAP_FAILED) {
            p = ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        }
        if (p == MAP_FAILED) {
            throw std::bad_alloc();
        }
        if (fileAt_ < 0) {
            BlockFile::instance().countPrivate(size_, true);
        }
        data_ = static_cast<char*>(p);
    } else {
        data_ = static_cast<char*>(::operator new(bytes == 0 ? 1 : bytes));
        size_ = bytes;
    }
}

LargeBlock& LargeBlock::operator=(LargeBlock&& other) noexcept {
    if (this != &other) {
        release();
        data_ = other.data_;
        size_ = other.size_;
        fileAt_ = other.fileAt_;
        other.data_ = nullptr;
        other.size_ = 0;
        other.fileAt_ = -1;
    }
    return *this;
}

void LargeBlock::release() {
    if (data_ == nullptr) {
        return;
    }
    if (size_ >= kMappedFrom) {
        ::munmap(data_, size_);
        if (fileAt_ >= 0) {
            BlockFile::instance().giveBack(fileAt_, size_);
        } else {
            BlockFile::instance().countPrivate(size_, false);
        }
    } else {
        ::operator delete(data_);
    }
    data_ = nullptr;
    size_ = 0;
    fileAt_ = -1;
}

}  // namespace korvantis

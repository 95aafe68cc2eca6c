#include "store/large_block.h"

#include <sys/mman.h>

#include <new>

namespace korvantis {

namespace {

constexpr std::size_t kPage = 4096;

}  // namespace

LargeBlock::LargeBlock(std::size_t bytes) {
    if (bytes >= kMappedFrom) {
        size_ = (bytes + kPage - 1) / kPage * kPage;
        void* p =
            ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) {
            throw std::bad_alloc();
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
        other.data_ = nullptr;
        other.size_ = 0;
    }
    return *this;
}

void LargeBlock::release() {
    if (data_ == nullptr) {
        return;
    }
    if (size_ >= kMappedFrom) {
        ::munmap(data_, size_);
    } else {
        ::operator delete(data_);
    }
    data_ = nullptr;
    size_ = 0;
}

}  // namespace korvantis

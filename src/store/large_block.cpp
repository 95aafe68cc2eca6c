#include "store/large_block.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>

namespace korvantis {

namespace {

constexpr std::size_t kPage = 4096;

char* mapAligned(std::size_t bytes) {
    // Map one huge page more than needed and cut the ends off, so that the
    // block starts on a huge page boundary.
    const std::size_t mapped = bytes + LargeBlock::kHugePage;
    void* p = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) {
        throw std::bad_alloc();
    }
    char* const raw = static_cast<char*>(p);
    const auto at = reinterpret_cast<std::uintptr_t>(raw);
    const std::size_t head =
        (LargeBlock::kHugePage - at % LargeBlock::kHugePage) % LargeBlock::kHugePage;
    if (head != 0) {
        ::munmap(raw, head);
    }
    const std::size_t tail = mapped - head - bytes;
    if (tail != 0) {
        ::munmap(raw + head + bytes, tail);
    }
    // Only the whole huge pages: the rest of the block takes small pages, so
    // that a block filled to its end holds no unused part of a huge page.
    // Only advice: without huge pages the block works as well, only slower.
    ::madvise(raw + head, bytes / LargeBlock::kHugePage * LargeBlock::kHugePage, MADV_HUGEPAGE);
    return raw + head;
}

}  // namespace

LargeBlock::LargeBlock(std::size_t bytes) {
    if (bytes >= kHugePage) {
        size_ = (bytes + kPage - 1) / kPage * kPage;
        data_ = mapAligned(size_);
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
    if (size_ >= kHugePage) {
        ::munmap(data_, size_);
    } else {
        ::operator delete(data_);
    }
    data_ = nullptr;
    size_ = 0;
}

}  // namespace korvantis

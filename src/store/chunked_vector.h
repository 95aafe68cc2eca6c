#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include "store/large_block.h"

namespace korvantis {

// An append-only sequence stored in chunks: elements never move, so pointers
// and references to them stay valid, and growth never copies the whole list
// (no peak of old plus new storage on a large load). The first chunk holds
// FirstChunkElems elements and each further one twice as many as the one
// before, so a small list stays small and a large one lies in a few large
// blocks (see LargeBlock).
template <typename T, std::size_t FirstChunkElems = 4096>
class ChunkedVector {
    static_assert(std::has_single_bit(FirstChunkElems));
    static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);
    static constexpr int kFirstShift = std::countr_zero(FirstChunkElems);
    // Enough chunks for more elements than any memory holds.
    static constexpr std::size_t kMaxChunks = 40;

  public:
    ChunkedVector() = default;
    ChunkedVector(const ChunkedVector&) = delete;
    ChunkedVector& operator=(const ChunkedVector&) = delete;
    ~ChunkedVector() { clear(); }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // The blocks of room it holds (see giveRoomTo()).
    std::size_t blocks() const { return chunkCount_; }

    T& operator[](std::size_t i) { return *at(chunks_.data(), i); }
    const T& operator[](std::size_t i) const { return *at(chunks_.data(), i); }
    T& back() { return (*this)[size_ - 1]; }
    const T& back() const { return (*this)[size_ - 1]; }

    template <typename... Args>
    T& emplace_back(Args&&... args) {
        if (size_ == capacity_) {
            addChunk();
        }
        T* slot = at(chunks_.data(), size_);
        new (slot) T(std::forward<Args>(args)...);
        ++size_;
        return *slot;
    }
    void push_back(const T& v) { emplace_back(v); }
    void push_back(T&& v) { emplace_back(std::move(v)); }
    // Room for `n` elements, so that appends up to there cannot fail.
    void reserve(std::size_t n) {
        while (capacity_ < n) {
            addChunk();
        }
    }
    // Drops the elements from `n` on (their room stays): undoes appends
    // that an allocation failing part way through left unfinished.
    void shrinkTo(std::size_t n) {
        for (; size_ > n; --size_) {
            (*this)[size_ - 1].~T();
        }
    }

    // Empties the list, handing its room to `keeper`: snapshots taken
    // before go on reading what they saw for as long as the keeper keeps
    // it, and what is appended from now on goes elsewhere. Changes nothing
    // when `keeper` cannot take it (std::bad_alloc).
    void giveRoomTo(std::vector<LargeBlock>& keeper) {
        static_assert(std::is_trivially_destructible_v<T>);
        keeper.reserve(keeper.size() + chunkCount_);
        for (std::size_t c = 0; c < chunkCount_; ++c) {
            keeper.push_back(std::move(blocks_[c]));
            chunks_[c] = nullptr;
        }
        chunkCount_ = 0;
        capacity_ = 0;
        size_ = 0;
    }

    void clear() {
        for (std::size_t i = size_; i > 0; --i) {
            (*this)[i - 1].~T();
        }
        size_ = 0;
        capacity_ = 0;
        for (std::size_t c = 0; c < chunkCount_; ++c) {
            blocks_[c] = LargeBlock();
            chunks_[c] = nullptr;
        }
        chunkCount_ = 0;
    }

    template <bool Const>
    class Iter {
      public:
        using Owner = std::conditional_t<Const, const ChunkedVector, ChunkedVector>;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using reference = std::conditional_t<Const, const T&, T&>;
        using pointer = std::conditional_t<Const, const T*, T*>;
        using iterator_category = std::random_access_iterator_tag;
        Iter() = default;
        Iter(Owner* o, std::size_t i) : o_(o), i_(i) {}
        reference operator*() const { return (*o_)[i_]; }
        pointer operator->() const { return &(*o_)[i_]; }
        Iter& operator++() {
            ++i_;
            return *this;
        }
        Iter operator++(int) {
            Iter t = *this;
            ++i_;
            return t;
        }
        Iter& operator--() {
            --i_;
            return *this;
        }
        Iter& operator+=(difference_type d) {
            i_ += d;
            return *this;
        }
        Iter operator+(difference_type d) const { return Iter(o_, i_ + d); }
        difference_type operator-(const Iter& o) const {
            return static_cast<difference_type>(i_) - static_cast<difference_type>(o.i_);
        }
        reference operator[](difference_type d) const { return (*o_)[i_ + d]; }
        bool operator==(const Iter& o) const { return i_ == o.i_; }
        auto operator<=>(const Iter& o) const { return i_ <=> o.i_; }

      private:
        Owner* o_ = nullptr;
        std::size_t i_ = 0;
    };
    // The first `size()` elements as they are now, readable from another
    // thread while this list grows: elements never move and are never
    // changed once appended, only the table of chunks changes, so the view
    // keeps a copy of that table (one pointer per chunk).
    class Snapshot {
      public:
        Snapshot() = default;
        std::size_t size() const { return size_; }
        const T& operator[](std::size_t i) const { return *at(chunks_.data(), i); }

      private:
        friend class ChunkedVector;
        std::vector<T*> chunks_;
        std::size_t size_ = 0;
    };
    // Taken on the thread that appends; `count` at most size().
    Snapshot snapshot(std::size_t count) const {
        Snapshot s;
        s.size_ = count;
        s.chunks_.assign(chunks_.begin(), chunks_.begin() + chunkCount_);
        return s;
    }

    using iterator = Iter<false>;
    using const_iterator = Iter<true>;
    iterator begin() { return iterator(this, 0); }
    iterator end() { return iterator(this, size_); }
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, size_); }

  private:
    void addChunk() {
        const std::size_t c = chunkCount_;
        blocks_[c] = LargeBlock(sizeof(T) * (FirstChunkElems << c));
        chunks_[c] = reinterpret_cast<T*>(blocks_[c].data());
        ++chunkCount_;
        capacity_ += FirstChunkElems << c;
    }
    // Chunk c holds the elements from FirstChunkElems * (2^c - 1) on.
    static T* at(T* const* chunks, std::size_t i) {
        const std::size_t q = (i >> kFirstShift) + 1;
        const int c = std::bit_width(q) - 1;
        return chunks[c] + (i + FirstChunkElems - (FirstChunkElems << c));
    }

    std::array<T*, kMaxChunks> chunks_{};
    std::array<LargeBlock, kMaxChunks> blocks_;
    std::size_t chunkCount_ = 0;
    std::size_t capacity_ = 0;
    std::size_t size_ = 0;
};

}  // namespace korvantis

#pragma once

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

namespace korvantis {

// An append-only sequence stored in fixed-size chunks: elements never move,
// so pointers and references to them stay valid, and growth never copies
// the whole list (no peak of old plus new storage on a large load).
template <typename T, std::size_t ChunkElems = 4096>
class ChunkedVector {
  public:
    ChunkedVector() = default;
    ChunkedVector(const ChunkedVector&) = delete;
    ChunkedVector& operator=(const ChunkedVector&) = delete;
    ~ChunkedVector() { clear(); }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    T& operator[](std::size_t i) { return chunk(i / ChunkElems)[i % ChunkElems]; }
    const T& operator[](std::size_t i) const { return chunk(i / ChunkElems)[i % ChunkElems]; }
    T& back() { return (*this)[size_ - 1]; }
    const T& back() const { return (*this)[size_ - 1]; }

    template <typename... Args>
    T& emplace_back(Args&&... args) {
        if (size_ == chunks_.size() * ChunkElems) {
            chunks_.push_back(std::unique_ptr<Storage[]>(new Storage[ChunkElems]));
        }
        T* slot = &chunk(size_ / ChunkElems)[size_ % ChunkElems];
        new (slot) T(std::forward<Args>(args)...);
        ++size_;
        return *slot;
    }
    void push_back(const T& v) { emplace_back(v); }
    void push_back(T&& v) { emplace_back(std::move(v)); }

    void clear() {
        for (std::size_t i = size_; i > 0; --i) {
            (*this)[i - 1].~T();
        }
        size_ = 0;
        chunks_.clear();
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
    // changed once appended, only the table of chunks may be reallocated, so
    // the view keeps a copy of that table (one pointer per chunk).
    class Snapshot {
      public:
        Snapshot() = default;
        std::size_t size() const { return size_; }
        const T& operator[](std::size_t i) const { return chunks_[i / ChunkElems][i % ChunkElems]; }

      private:
        friend class ChunkedVector;
        std::vector<const T*> chunks_;
        std::size_t size_ = 0;
    };
    // Taken on the thread that appends; `count` at most size().
    Snapshot snapshot(std::size_t count) const {
        Snapshot s;
        s.size_ = count;
        const std::size_t chunks = (count + ChunkElems - 1) / ChunkElems;
        s.chunks_.reserve(chunks);
        for (std::size_t c = 0; c < chunks; ++c) {
            s.chunks_.push_back(chunk(c));
        }
        return s;
    }

    using iterator = Iter<false>;
    using const_iterator = Iter<true>;
    iterator begin() { return iterator(this, 0); }
    iterator end() { return iterator(this, size_); }
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, size_); }

  private:
    struct alignas(T) Storage {
        unsigned char bytes[sizeof(T)];
    };
    T* chunk(std::size_t c) { return reinterpret_cast<T*>(chunks_[c].get()); }
    const T* chunk(std::size_t c) const { return reinterpret_cast<const T*>(chunks_[c].get()); }

    std::vector<std::unique_ptr<Storage[]>> chunks_;
    std::size_t size_ = 0;
};

}  // namespace korvantis

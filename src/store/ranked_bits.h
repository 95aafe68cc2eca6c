#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvantis {

// An append-only sequence of bits that answers "how many bits are set
// before position i" in constant time, with 1.5 bits of memory per bit.
class RankedBits {
  public:
    void push_back(bool bit) {
        const std::size_t word = size_ / 64;
        if (word == words_.size()) {
            setBefore_.push_back(words_.empty() ? 0
                                                : setBefore_.back() +
                                                      static_cast<std::uint32_t>(
                                                          __builtin_popcountll(words_.back())));
            words_.push_back(0);
        }
        if (bit) {
            words_[word] |= std::uint64_t{1} << (size_ % 64);
        }
        ++size_;
    }
    // Appends `count` bits (at most 64) at once, bit i of `bits` the i-th:
    // only while size() is a multiple of 64 (a word at a time, the last
    // one maybe short).
    void appendWord(std::uint64_t bits, std::size_t count) {
        setBefore_.push_back(words_.empty()
                                 ? 0
                                 : setBefore_.back() + static_cast<std::uint32_t>(
                                                           __builtin_popcountll(words_.back())));
        words_.push_back(count >= 64 ? bits : bits & ((std::uint64_t{1} << count) - 1));
        size_ += count;
    }
    // Drops the bits from `n` on: undoes appends that an allocation failing
    // part way through a batch left unfinished.
    // (At `n == size()` it still mends a push that failed between its two
    // lists.)
    void truncate(std::size_t n) {
        if (n > size_) {
            return;
        }
        const std::size_t words = (n + 63) / 64;
        words_.resize(words);
        setBefore_.resize(words);
        if (n % 64 != 0) {
            words_.back() &= (std::uint64_t{1} << (n % 64)) - 1;
        }
        size_ = n;
    }
    std::size_t size() const { return size_; }
    bool test(std::size_t i) const { return (words_[i / 64] >> (i % 64)) & 1; }
    // Set bits in [0, i).
    std::size_t rank(std::size_t i) const {
        const std::uint64_t below = (std::uint64_t{1} << (i % 64)) - 1;
        return setBefore_[i / 64] +
               static_cast<std::size_t>(__builtin_popcountll(words_[i / 64] & below));
    }

  private:
    std::vector<std::uint64_t> words_;
    std::vector<std::uint32_t> setBefore_;  // set bits in the words before each word
    std::size_t size_ = 0;
};

}  // namespace korvantis

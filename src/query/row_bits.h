#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "query/row_filter.h"

namespace korvantis {

// A set of row numbers of one list as one bit per row: what a highlight
// rule selects, asked for row by row while a list is painted and handed to
// the workers that mark the timeline and the tree without copying millions
// of row numbers. Rows past the last one set are not in it.
class RowBits {
  public:
    RowBits() = default;
    explicit RowBits(const RowNumbers& rows) {
        if (!rows.empty()) {
            words_.resize(rows.back() / 64 + 1);
        }
        for (const std::uint32_t row : rows) {
            words_[row / 64] |= bit(row);
        }
    }

    bool test(std::size_t row) const {
        return row / 64 < words_.size() && (words_[row / 64] & bit(row)) != 0;
    }
    void set(std::size_t row) {
        if (row / 64 >= words_.size()) {
            words_.resize(row / 64 + 1);
        }
        words_[row / 64] |= bit(row);
    }
    void reset(std::size_t row) {
        if (row / 64 < words_.size()) {
            words_[row / 64] &= ~bit(row);
        }
    }

  private:
    static std::uint64_t bit(std::size_t row) { return std::uint64_t{1} << (row % 64); }
    std::vector<std::uint64_t> words_;
};

}  // namespace korvantis

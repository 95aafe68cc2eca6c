#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>

namespace korvantis {

// A number that places one kind of thing, kept apart from the numbers of
// other kinds so that one is never passed for another: made from its raw
// value on purpose, read back with value(). Costs nothing over the raw value.
template <typename Kind, typename Raw>
class StoreIndex {
  public:
    constexpr StoreIndex() = default;
    constexpr explicit StoreIndex(Raw value) : value_(value) {}

    constexpr Raw value() const { return value_; }
    constexpr auto operator<=>(const StoreIndex&) const = default;
    constexpr StoreIndex& operator++() {
        ++value_;
        return *this;
    }

  private:
    Raw value_ = 0;
};

// A stored line's place among the store's lines, in load order: how a row is
// known outside the store (the selection, the lists, the tree window).
using LinePlace = StoreIndex<struct LinePlaceKind, std::size_t>;
// A row's index in one of the store's row lists (process, file, other).
using RowIndex = StoreIndex<struct RowIndexKind, std::size_t>;
// A line's number in its log, from 1.
using LineNumber = StoreIndex<struct LineNumberKind, std::uint64_t>;

}  // namespace korvantis

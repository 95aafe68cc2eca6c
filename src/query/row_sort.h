#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "query/sort_keys.h"

namespace korvantis {

// The order of rows sorted by one field. `keys[i]` is the key of the i-th row
// in load order; the result lists row indices. Rows with equal keys keep their
// load order whether ascending or descending (so descending is not ascending
// reversed), and rows with an empty key come last in load order either way.
std::vector<std::uint32_t> sortedOrder(std::span<const SortKey> keys, SortKind kind,
                                       bool descending);

// The keys of `count` rows of a list, read through `rowAt(i)` (a RowView).
template <typename RowAt>
std::vector<SortKey> sortKeys(FieldId field, std::size_t count, RowAt&& rowAt) {
    std::vector<SortKey> keys(count);
    for (std::size_t i = 0; i < count; ++i) {
        keys[i] = sortKeyOf(field, rowAt(i));
    }
    return keys;
}

}  // namespace korvantis

#pragma once

#include <cstdint>
#include <optional>

#include "store/uuid.h"

namespace korvantis {

// The ids of one store's lines. Each line's id is its place among the
// store's lines, passed through a keyed permutation of the 122 free bits of
// a version-4 UUID together with a tag of the store: the ids look random,
// never repeat, and differ from store to store and load to load, yet a line
// is found from its id by inverting the permutation, with no table of ids.
// Immutable once made, so any thread may use it.
class LineIds {
  public:
    // A fresh key and tag from the system's entropy source.
    LineIds();

    Uuid idOf(std::uint64_t index) const;
    // The place of the line with `id`, or nothing for an id this store did
    // not make.
    std::optional<std::uint64_t> indexOf(const Uuid& id) const;

  private:
    static constexpr int kRounds = 4;
    std::uint64_t keys_[kRounds];
    std::uint64_t tag_;  // 61 bits
};

}  // namespace korvantis

#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "store/linear_probing_table.h"

namespace korvantis {

// A set of process ids with constant-time lookup: a bitmap over a range
// chosen up front (pids are usually small and close together), and an
// open-addressing table for any pid outside it.
class PidSet {
  public:
    PidSet() = default;
    // Keeps pids in [low, low + count) in a bitmap of `count` bits.
    PidSet(std::int64_t low, std::uint64_t count);

    bool contains(std::int64_t pid) const {
        const std::uint64_t offset =
            static_cast<std::uint64_t>(pid) - static_cast<std::uint64_t>(low_);
        if (offset < count_) {
            return (bits_[offset / 64] >> (offset % 64)) & 1;
        }
        return size_ != denseSize_ && hashed_.contains(pid);
    }
    // True when `pid` was not yet in the set.
    bool insert(std::int64_t pid);
    std::size_t size() const { return size_; }

  private:
    std::int64_t low_ = 0;
    std::uint64_t count_ = 0;
    std::vector<std::uint64_t> bits_;
    std::size_t denseSize_ = 0;                // pids held in the bitmap
    LinearProbingTable<std::int64_t> hashed_;  // pids outside the bitmap
    std::size_t size_ = 0;
};

// One process row's ids, the input of the tree closure.
struct ProcessLink {
    std::int64_t pid = 0;
    std::int64_t ppid = 0;
};

// The process `root` and every process it started, directly or not: the
// smallest set holding `root` and the pid of every process row whose ppid is
// in the set. Linear in the number of rows; any depth, cycles included.
PidSet descendantPids(std::int64_t root, std::span<const ProcessLink> processes);

}  // namespace korvantis

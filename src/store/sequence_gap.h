#pragma once

#include <cstdint>

#include "store/store_index.h"

namespace korvantis {

// Where eslogger's own message numbers (global_seq_num) jump within one log:
// the messages between were dropped by the recorder or cut from the log.
struct SequenceGap {
    std::uint64_t line = 0;  // 1-based, of the first numbered line after the gap
    std::uint64_t lost = 0;
    std::uint32_t log = 0;  // the log's index among the store's logs
    // The place among the store's lines of the first stored line at or after
    // `line` (set by the load; where a jump to the gap starts looking for a row).
    LinePlace entry{};
    bool operator==(const SequenceGap&) const = default;
};

// A sum of lost messages that does not wrap: a gap may be as large as the
// numbers allow, and a few of them exceed any 64-bit count. Past the
// largest count it stays there, with `beyond` set.
struct LostMessages {
    std::uint64_t count = 0;
    bool beyond = false;  // more than `count` (which is UINT64_MAX then)

    void add(std::uint64_t lost) {
        if (count > UINT64_MAX - lost) {
            count = UINT64_MAX;
            beyond = true;
        } else {
            count += lost;
        }
    }
};

}  // namespace korvantis

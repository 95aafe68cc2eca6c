#pragma once

#include <cstdint>

namespace korvantis {

// Where eslogger's own message numbers (global_seq_num) jump within one log:
// the messages between were dropped by the recorder or cut from the log.
struct SequenceGap {
    std::uint64_t line = 0;  // 1-based, of the first numbered line after the gap
    std::uint64_t lost = 0;
    std::uint32_t log = 0;  // the log's index among the store's logs
    bool operator==(const SequenceGap&) const = default;
};

}  // namespace korvantis

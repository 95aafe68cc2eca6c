#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "store/line_ref.h"
#include "store/log_files.h"

namespace korvantis {

// Reads the raw lines of rows taken in an order of the caller's (a sort),
// each once, in turn. The lines of a compressed or received log are read a
// batch at a time in the order they stand in their log: a compressed text
// is then inflated about once per batch, not from its nearest access point
// again for every row. A plain log's line is read when it is asked for.
class OrderedLineReads {
  public:
    using RefOf = std::function<LineRef(std::size_t)>;
    // A batch holds lines of at most this many bytes (at least one line),
    // of at most this many rows.
    static constexpr std::size_t kBatchBytes = std::size_t{64} << 20;
    static constexpr std::size_t kBatchRows = std::size_t{1} << 19;

    // `refOf(i)` is where the i-th row's line lies, for i below `count`.
    OrderedLineReads(const LogFiles& files, std::size_t count, RefOf refOf,
                     std::size_t batchBytes = kBatchBytes);

    // The i-th row's line (valid until the next call), or nothing and why;
    // i from 0 up, in turn.
    ReadBack<std::string_view> read(std::size_t i);

  private:
    // Reads the batch of text-backed lines that starts at row `from`.
    void fill(std::size_t from);

    const LogFiles& files_;
    std::size_t count_;
    RefOf refOf_;
    std::size_t batchBytes_;
    std::size_t batchStart_ = 0;
    std::size_t batchEnd_ = 0;
    std::string bytes_;                           // the batch's lines, one after the other
    std::vector<std::uint64_t> starts_;           // per row of the batch, in bytes_
    std::vector<ReadBack<std::uint32_t>> reads_;  // per row: its length, or why not
    std::vector<char> textBacked_;                // per row: its log has a text
    std::string single_;                          // a plain log's line
};

}  // namespace korvantis

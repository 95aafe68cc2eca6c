#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "store/event_store.h"

namespace korvantis {

// The line numbers of a store's stored lines, both ways, each in a few
// steps: a mark names its row by line number, and thousands of rows are
// marked at once. Made from the store as it is; lines filed later are not
// known to it.
class StoreLineNumbers {
  public:
    explicit StoreLineNumbers(const EventStore& store);

    // The number (from 1) of stored line `entry`'s line in its log.
    std::uint64_t lineOf(LinePlace entry) const;
    // The stored line on line `line` of log `log`, or nothing for a line
    // that is a load error or past the log's stored lines.
    std::optional<LinePlace> entryAt(std::uint32_t log, std::uint64_t line) const;

  private:
    struct Log {
        std::size_t first = 0;  // the log's stored lines stand together
        std::size_t end = 0;
        std::vector<std::uint64_t> errorLines;  // lines that are load errors alone, ascending
        std::vector<std::uint64_t> shifted;     // errorLines[i] - i
    };
    std::vector<Log> logs_;
    const LineRefTable& refs_;
};

// The real path of the log at `path` (links and relative parts resolved),
// empty for standard input or a path that cannot be resolved: marks name
// logs by it.
std::string realLogPath(const std::string& path);

}  // namespace korvantis

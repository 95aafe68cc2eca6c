#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "investigation/line_numbers.h"
#include "investigation/mark_book.h"
#include "store/event_store.h"

namespace korvantis {

// The marks of a book that apply to the rows of one store. A mark applies
// to the row on its line only while the line's checksum still matches the
// one it was made on; otherwise it is detached: counted, and never shown on
// any row.
class RowMarks {
  public:
    struct Detached {
        std::uint32_t log = 0;  // the store's log
        std::size_t count = 0;
    };

    RowMarks() = default;
    RowMarks(const EventStore& store, const StoreLineNumbers& lines, const MarkBook& book);

    // The mark of the row of stored line `entry`, or null.
    const MarkText* at(LinePlace entry) const;
    // The marked stored lines, ascending.
    const std::vector<std::pair<LinePlace, const MarkText*>>& marked() const { return marked_; }
    // Per log with detached marks, how many; each log once, in load order.
    const std::vector<Detached>& detached() const { return detached_; }
    // The real path of each of the store's logs, empty when it has none.
    const std::vector<std::string>& realPaths() const { return realPaths_; }

  private:
    std::vector<std::pair<LinePlace, const MarkText*>> marked_;
    std::vector<Detached> detached_;
    std::vector<std::string> realPaths_;
};

}  // namespace korvantis

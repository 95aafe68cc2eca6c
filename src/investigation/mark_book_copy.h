#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "investigation/mark_book.h"

namespace korvantis {

// A book of marks copied into three flat arrays, for a worker to write it
// while the window goes on changing its own: a copy of the book itself
// costs an allocation per note, tens of milliseconds for a hundred thousand
// marks; this costs a few, with no allocation per mark. The worker turns it
// back into a book.
class MarkBookCopy {
  public:
    MarkBookCopy() = default;
    explicit MarkBookCopy(const MarkBook& book);

    std::size_t size() const { return marks_.size(); }
    // The book copied, mark for mark.
    MarkBook book() const;

  private:
    struct Mark {
        MarkPlace place;
        std::uint32_t log = 0;  // in logs_
        std::uint32_t tagsSize = 0;
        std::uint32_t noteSize = 0;
    };
    std::vector<std::string> logs_;
    std::vector<Mark> marks_;  // by log, each log's in the book's order
    std::string texts_;        // each mark's tags then its note, in marks_'s order
};

}  // namespace korvantis

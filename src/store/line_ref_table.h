#pragma once

#include <cstddef>
#include <cstdint>

#include "store/chunked_vector.h"
#include "store/line_ref.h"
#include "store/store_index.h"

namespace korvantis {

// Where each stored line's raw text lies in its log, by the line's place (the
// order the lines were stored in); the text itself is read again from the log
// when it is needed.
class LineRefTable {
  public:
    std::size_t size() const { return refs_.size(); }
    bool empty() const { return refs_.empty(); }
    // Stores a line under the next place, size() - 1 after.
    void append(const LineRef& ref) { refs_.push_back(ref); }
    // Drops the lines from place `n` on (a batch that could not be filed).
    void truncate(std::size_t n) { refs_.shrinkTo(n); }

    const LineRef& ref(LinePlace place) const { return refs_[place.value()]; }
    // Where the first `count` lines lie, readable from a worker thread while
    // lines are appended (see ChunkedVector::Snapshot).
    using RefsSnapshot = ChunkedVector<LineRef, 8192>::Snapshot;
    RefsSnapshot refsSnapshot(std::size_t count) const { return refs_.snapshot(count); }

  private:
    ChunkedVector<LineRef, 8192> refs_;
};

}  // namespace korvantis

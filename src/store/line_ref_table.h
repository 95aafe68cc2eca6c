#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "store/chunked_vector.h"
#include "store/line_ids.h"
#include "store/line_ref.h"
#include "store/store_index.h"
#include "store/uuid.h"

namespace korvantis {

// Map from a line's id to where its raw text lies in its log, in the order
// the lines were stored. The ids are made from the places (see LineIds), so
// only the references are kept; the text itself is read again from the log
// when it is needed.
class LineRefTable {
  public:
    std::size_t size() const { return refs_.size(); }
    bool empty() const { return refs_.empty(); }
    // The place of the line `id` names.
    std::optional<LinePlace> indexOf(const Uuid& id) const;
    // The id the line stored at `place` has (or will have).
    Uuid idOf(LinePlace place) const { return ids_.idOf(place.value()); }
    const LineIds& ids() const { return ids_; }

    // Stores a line under the next place (its id is idOf(size() - 1)).
    void append(const LineRef& ref) { refs_.push_back(ref); }

    struct Entry {
        Uuid id;
        LineRef ref;
    };
    // In insertion order.
    Entry entry(LinePlace place) const { return Entry{idOf(place), ref(place)}; }
    const LineRef& ref(LinePlace place) const { return refs_[place.value()]; }
    // Where the first `count` lines lie, readable from a worker thread while
    // lines are appended (see ChunkedVector::Snapshot).
    using RefsSnapshot = ChunkedVector<LineRef, 8192>::Snapshot;
    RefsSnapshot refsSnapshot(std::size_t count) const { return refs_.snapshot(count); }

  private:
    LineIds ids_;
    ChunkedVector<LineRef, 8192> refs_;
};

}  // namespace korvantis

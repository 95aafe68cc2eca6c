#pragma once

#include <cstddef>
#include <memory>
#include <optional>

#include "decode/event_kinds.h"
#include "decode/time_value.h"
#include "store/kept_lifetimes.h"
#include "store/line_ref.h"
#include "store/ranked_bits.h"
#include "store/row_kind.h"
#include "store/row_view.h"

namespace korvantis {

// Lines and rows a store reads where something else keeps them (an index
// file mapped read-only) instead of holding copies of its own: they stand
// for the store's first lines, line i at place i. Never changes once made;
// read from any thread. The texts of its rows live as long as it does.
class MappedRows {
  public:
    virtual ~MappedRows() = default;

    virtual std::size_t lineCount() const = 0;
    virtual LineRef lineRef(std::size_t line) const = 0;
    // Per kind: which lines made a row of it.
    virtual const PerKind<RankedBits>& rowBits() const = 0;
    virtual std::size_t rowCount(RowKind kind) const = 0;
    // Row `i` of `kind`: its texts and numbers (hits, outcome and marks are
    // the store's), and the line it was made from; with `parts`, only those
    // (the rest left empty).
    RowView row(RowKind kind, std::size_t i) const { return row(kind, i, RowPart::whole); }
    virtual RowView row(RowKind kind, std::size_t i, RowParts parts) const = 0;
    virtual std::size_t lineOf(RowKind kind, std::size_t i) const = 0;
    // The event type of process or file row `i` of `kind`, as its place in
    // kEventKindNames: what a filter by type alone reads of it.
    virtual EventKind typeOf(RowKind kind, std::size_t i) const = 0;
    // Row `i` of `kind` is soon to be read: its bytes may be fetched into
    // the processor's cache meanwhile. A hint; it reads nothing.
    virtual void prefetch(RowKind /*kind*/, std::size_t /*i*/) const {}
    // The earliest time value among the rows of `kind` (kNoTimeValue: none).
    virtual TimeValue earliestTime(RowKind kind) const = 0;
    // How the runs of its process rows end, when that is kept beside them
    // (null: worked out from the rows).
    virtual std::shared_ptr<const KeptLifetimes> lifetimes() const { return nullptr; }
};

}  // namespace korvantis

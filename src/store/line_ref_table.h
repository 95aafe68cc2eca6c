#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "store/chunked_vector.h"
#include "store/line_ref.h"
#include "store/mapped_rows.h"
#include "store/store_index.h"

namespace korvantis {

// Where each stored line's raw text lies in its log, by the line's place (the
// order the lines were stored in); the text itself is read again from the log
// when it is needed. The first lines may be read in place from mapped rows
// (see MappedRows), the lines after them are kept here.
class LineRefTable {
  public:
    std::size_t size() const { return mappedLines_ + refs_.size(); }
    bool empty() const { return size() == 0; }
    // Stores a line under the next place, size() - 1 after.
    void append(const LineRef& ref) { refs_.push_back(ref); }
    // Drops the lines from place `n` on (a batch that could not be filed).
    void truncate(std::size_t n) {
        if (n < mappedLines_) {  // the batch that mapped them: n is 0
            mapped_.reset();
            mappedLines_ = 0;
        }
        refs_.shrinkTo(n - mappedLines_);
    }
    // The lines of `mapped` become the first ones; only while empty.
    void mapPrefix(std::shared_ptr<const MappedRows> mapped) {
        mappedLines_ = mapped->lineCount();
        mapped_ = std::move(mapped);
    }
    // The same in place of the lines appended so far, which are the first
    // ones of `mapped`: snapshots taken before go on reading them. Only
    // while none is mapped, after reserveToReplaceAppended(); cannot fail.
    void reserveToReplaceAppended() { retiredRoom_.reserve(retiredRoom_.size() + refs_.blocks()); }
    void replaceAppendedByMapped(std::shared_ptr<const MappedRows> mapped) noexcept {
        refs_.giveRoomTo(retiredRoom_);
        mapPrefix(std::move(mapped));
    }

    LineRef ref(LinePlace place) const {
        const std::size_t i = place.value();
        return i < mappedLines_ ? mapped_->lineRef(i) : refs_[i - mappedLines_];
    }
    // Where the first `count` lines lie, readable from a worker thread while
    // lines are appended (see ChunkedVector::Snapshot).
    class RefsSnapshot {
      public:
        RefsSnapshot() = default;
        std::size_t size() const { return size_; }
        LineRef operator[](std::size_t i) const {
            return i < mappedLines_ ? mapped_->lineRef(i) : refs_[i - mappedLines_];
        }

      private:
        friend class LineRefTable;
        std::shared_ptr<const MappedRows> mapped_;
        std::size_t mappedLines_ = 0;
        ChunkedVector<LineRef, 8192>::Snapshot refs_;
        std::size_t size_ = 0;
    };
    RefsSnapshot refsSnapshot(std::size_t count) const {
        RefsSnapshot s;
        s.mapped_ = mapped_;
        s.mappedLines_ = std::min(mappedLines_, count);
        s.refs_ = refs_.snapshot(count - s.mappedLines_);
        s.size_ = count;
        return s;
    }

  private:
    std::shared_ptr<const MappedRows> mapped_;
    std::size_t mappedLines_ = 0;
    ChunkedVector<LineRef, 8192> refs_;
    std::vector<LargeBlock> retiredRoom_;  // of lines mapped ones replaced
};

}  // namespace korvantis

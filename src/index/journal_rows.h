#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "index/index_file.h"
#include "index/journal_records.h"
#include "index/load_journal.h"
#include "index/text_places.h"
#include "store/mapped_rows.h"

namespace korvantis {

// The lines and rows of a journal read in place from its index, which stays
// mapped (file pages, not the program's own memory) and locked while they
// live: a reopened log's store holds no copy of them. What it keeps of its
// own is small: per row the line it came from, per kind a bit per line.
// Every read stays within its section whatever the bytes say (a file cut
// short under the mapping reads as zeros: empty texts, zero numbers).
class JournalRows final : public MappedRows {
  public:
    // The rows of `replay` (read from `file` with its rows placed), as the
    // lines of log `log` from the store's first place on.
    JournalRows(std::shared_ptr<const IndexFile> file, JournalReplay&& replay, std::uint32_t log);

    std::size_t lineCount() const override { return lineCount_; }
    LineRef lineRef(std::size_t line) const override;
    const PerKind<RankedBits>& rowBits() const override { return bits_; }
    std::size_t rowCount(RowKind kind) const override { return lineOf_[kind].size(); }
    using MappedRows::row;
    RowView row(RowKind kind, std::size_t i, RowParts parts) const override;
    std::size_t lineOf(RowKind kind, std::size_t i) const override { return lineOf_[kind][i]; }
    EventKind typeOf(RowKind kind, std::size_t i) const override {
        return types_[lineOf_[kind][i]];
    }
    void prefetch(RowKind kind, std::size_t i) const override;
    TimeValue earliestTime(RowKind kind) const override { return earliest_[kind]; }
    std::shared_ptr<const KeptLifetimes> lifetimes() const override { return lifetimes_; }

    // The path, pid and ppid of each process row in order, with its line,
    // given to `take(line, path, pid, ppid)`: what the process tree is made
    // of, read in one pass over the rows, touching neither facts nor
    // timestamps.
    template <typename Take>
    void eachProcess(Take take) const;

  private:
    // The place of the record of the row made from `line` among the rows'
    // records.
    std::size_t recordOf(std::uint32_t line) const {
        return line -
               static_cast<std::size_t>(std::lower_bound(rowless_.begin(), rowless_.end(), line) -
                                        rowless_.begin());
    }
    std::string_view textOf(const TextPlaces& texts, std::uint32_t id) const {
        return id < texts.size() ? texts[id] : std::string_view();
    }

    std::shared_ptr<const IndexFile> file_;
    std::uint32_t log_;
    std::string_view lines_, rows_, timestamps_;
    TextPlaces paths_, facts_;
    std::size_t lineCount_ = 0;
    PerKind<std::vector<std::uint32_t>> lineOf_;
    // The lines that made no row, in order: a row's record is its line's
    // place among the lines that made one.
    std::vector<std::uint32_t> rowless_;
    PerKind<RankedBits> bits_;
    std::vector<std::uint8_t> types_;  // each line's event type
    PerKind<TimeValue> earliest_;
    std::shared_ptr<const KeptLifetimes> lifetimes_;
};

template <typename Take>
void JournalRows::eachProcess(Take take) const {
    const std::vector<std::uint32_t>& lines = lineOf_[RowKind::process];
    // The rows' lines grow, and so does the count of rowless lines before
    // them: no search per row.
    std::size_t rowlessBefore = 0;
    for (const std::uint32_t line : lines) {
        while (rowlessBefore < rowless_.size() && rowless_[rowlessBefore] < line) {
            ++rowlessBefore;
        }
        const auto r = recordAt<RowRecord>(rows_, line - rowlessBefore);
        take(line, textOf(paths_, r.path), r.pid, r.ppid);
    }
}

}  // namespace korvantis

#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "investigation/row_marks.h"
#include "query/filter_query.h"
#include "query/row_export.h"
#include "query/rows_snapshot.h"
#include "store/event_store.h"

namespace korvantis {

// The rows of the three lists in the order their lines were loaded. Each row
// knows its line's place in lineRefs, so following the lists while
// counting places interleaves them by line without a lookup. A row's raw
// line is read from its log only when asked for. With `marks`, each row
// carries the tags and note of its mark.
class StoreRowCursor {
  public:
    explicit StoreRowCursor(const EventStore& store, const RowMarks* marks = nullptr)
        : store_(store), marks_(marks), lines_(store.logFiles()) {}

    bool next(ExportRow& out) {
        const auto& procs = store_.procPreviews();
        const auto& files = store_.filePreviews();
        const auto& others = store_.otherPreviews();
        // The list whose next row's line comes first.
        constexpr LinePlace kNone(SIZE_MAX);
        const LinePlace procAt = proc_ < procs.size() ? procs.entryOf(proc_) : kNone;
        const LinePlace fileAt = file_ < files.size() ? files.entryOf(file_) : kNone;
        const LinePlace otherAt = other_ < others.size() ? others.entryOf(other_) : kNone;
        entry_ = std::min({procAt, fileAt, otherAt});
        if (entry_ == kNone) {
            return false;
        }
        raw_.reset();
        if (entry_ == procAt) {
            out = {procs.rowView(proc_), {}, {}};
            out.row.outcome = store_.lifetimes().outcomeOf(proc_++);
        } else if (entry_ == fileAt) {
            out = {files.rowView(file_++), {}, {}};
        } else {
            out = {others.rowView(other_++), {}, {}};
        }
        if (const MarkText* mark = marks_ != nullptr ? marks_->at(entry_) : nullptr) {
            out.row.tags = mark->tags;
            out.row.note = mark->note;
        }
        return true;
    }

    // The current row's raw line, read again from its log (valid until the
    // next row); nothing and why when it cannot be read. Read once per
    // row; the rows come in log order, so the log is read ahead in blocks.
    const ReadBack<std::string_view>& rawLine() {
        if (!raw_) {
            raw_ = lines_.read(store_.lineRefs().ref(entry_));
        }
        return *raw_;
    }

    // The current row's place among the store's stored lines.
    LinePlace entry() const { return entry_; }

    static std::vector<ProcessLink> processLinks(const EventStore& store) {
        return korvantis::processLinks(store.procPreviews().snapshot(store.procPreviews().size()));
    }

  private:
    const EventStore& store_;
    const RowMarks* marks_;
    std::size_t proc_ = 0;
    std::size_t file_ = 0;
    std::size_t other_ = 0;
    LinePlace entry_;
    LogFiles::AheadReader lines_;
    std::optional<ReadBack<std::string_view>> raw_;
};

}  // namespace korvantis

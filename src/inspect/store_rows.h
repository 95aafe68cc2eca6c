#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "store/event_store.h"
#include "query/filter_query.h"
#include "query/row_export.h"
#include "query/rows_snapshot.h"

namespace korvantis {

// The rows of both lists in the order their lines were loaded. Each row
// knows its line's place in jsonMapping, so following both lists while
// counting places interleaves them by line without a lookup. A row's raw
// line is read from its log only when asked for.
class StoreRowCursor {
  public:
    explicit StoreRowCursor(const EventStore& store) : store_(store), lines_(store.logFiles()) {}

    bool next(ExportRow& out) {
        const auto& procs = store_.procPreviews();
        const auto& files = store_.filePreviews();
        while (proc_ < procs.size() || file_ < files.size()) {
            const bool procFirst =
                file_ == files.size() ||
                (proc_ < procs.size() && procs.entryOf(proc_) < files.entryOf(file_));
            raw_.reset();
            if (procFirst) {
                entry_ = procs.entryOf(proc_);
                out = {procs.filterRow(proc_++), {}, {}};
            } else {
                entry_ = files.entryOf(file_);
                out = {files.filterRow(file_++), {}, {}};
            }
            return true;
        }
        return false;
    }

    // The current row's raw line, read again from its log (valid until the
    // next row); nothing when the log changed after loading. Read once per
    // row; the rows come in log order, so the log is read ahead in blocks.
    const std::optional<std::string_view>& rawLine() {
        if (!raw_) {
            raw_ = lines_.read(store_.jsonMapping().ref(entry_));
        }
        return *raw_;
    }

    // The current row's line's place in jsonMapping.
    std::size_t entry() const { return entry_; }

    static std::vector<ProcessLink> processLinks(const EventStore& store) {
        return korvantis::processLinks(store.procPreviews().snapshot(store.procPreviews().size()));
    }

  private:
    const EventStore& store_;
    std::size_t proc_ = 0;
    std::size_t file_ = 0;
    std::size_t entry_ = 0;
    LogFiles::AheadReader lines_;
    std::optional<std::optional<std::string_view>> raw_;
};

}  // namespace korvantis

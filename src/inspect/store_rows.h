#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "investigation/row_marks.h"
#include "output/row_export.h"
#include "query/filter_query.h"
#include "query/rows_snapshot.h"
#include "store/event_store.h"

namespace korvantis {

// The rows of every kind in the order their lines were loaded. Each row
// knows its line's place in lineRefs, so following the lists while
// counting places interleaves them by line without a lookup. A row's raw
// line is read from its log only when asked for. With `marks`, each row
// carries the tags and note of its mark.
class StoreRowCursor {
  public:
    explicit StoreRowCursor(const EventStore& store, const RowMarks* marks = nullptr)
        : store_(store), marks_(marks), lines_(store.logFiles()) {}

    // Passes over the rows of the kinds `query` cannot match, unread, and
    // over process and file rows of types it hides when it reads nothing
    // else of them: no row is made of those.
    void skipUnmatchable(const FilterQuery& query) {
        for (const RowKind kind : kRowKinds) {
            skipped_[kind] = !query.mayMatchKind(kind);
        }
        typesShown_ = query.typesShown();
    }

    // The next row, with at least `parts` of it filled in; one that its
    // type alone shows (see shownByType) with `shownParts` too.
    bool next(ExportRow& out, RowParts parts = RowPart::whole, RowParts shownParts = 0) {
        // The list whose next row's line comes first.
        std::optional<RowKind> first;
        for (const RowKind kind : kRowKinds) {
            const PreviewRows& list = store_.rows(kind);
            if (typesShown_ && kind != RowKind::other && !skipped_[kind]) {
                while (next_[kind] < list.size() && !shownType(list.typeOf(next_[kind]))) {
                    ++next_[kind];
                }
            }
            if (!skipped_[kind] && next_[kind] < list.size() &&
                (!first || list.placeOf(next_[kind]) < entry_)) {
                first = kind;
                entry_ = list.placeOf(next_[kind]);
            }
        }
        if (!first) {
            return false;
        }
        raw_.reset();
        kind_ = *first;
        row_ = next_[kind_]++;
        prefetchAhead(kind_);
        fill(out, shownByType() ? parts | shownParts : parts);
        return true;
    }
    // Whether the current row is shown by its type alone: it was passed
    // over otherwise.
    bool shownByType() const { return typesShown_ && kind_ != RowKind::other; }
    // The current row again, with `parts` filled in.
    void fill(ExportRow& out, RowParts parts) {
        out = {store_.row(kind_, row_, parts), {}, {}};
        if (const MarkText* mark = marks_ != nullptr ? marks_->at(entry_) : nullptr) {
            out.row.tags = mark->tags;
            out.row.note = mark->note;
        }
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
        const PreviewRows& procs = store.rows(RowKind::process);
        return korvantis::processLinks(procs.snapshot(procs.size()));
    }

  private:
    bool shownType(EventKind type) const {
        return type < typesShown_->size() && (*typesShown_)[type];
    }
    // Rows read in place lie far apart when few of them are shown: the
    // next few to be read are asked for while the current ones are
    // written, instead of each being waited for in turn.
    void prefetchAhead(RowKind kind) {
        constexpr std::size_t kRowsAhead = 8;
        const PreviewRows& list = store_.rows(kind);
        std::size_t& ahead = ahead_[kind];
        std::size_t& asked = asked_[kind];
        if (ahead < next_[kind]) {
            ahead = next_[kind];
            asked = 0;
        } else if (asked > 0) {
            --asked;
        }
        const bool byType = typesShown_ && kind != RowKind::other;
        for (; ahead < list.size() && asked < kRowsAhead; ++ahead) {
            if (!byType || shownType(list.typeOf(ahead))) {
                list.prefetch(ahead);
                ++asked;
            }
        }
    }

    const EventStore& store_;
    const RowMarks* marks_;
    PerKind<std::size_t> next_{};
    PerKind<bool> skipped_{};
    std::optional<FilterQuery::EventTypes> typesShown_;
    // Per kind: the first row not yet looked at for prefetchAhead(), and
    // how many were asked for between the current row and it.
    PerKind<std::size_t> ahead_{};
    PerKind<std::size_t> asked_{};
    RowKind kind_ = RowKind::process;  // the current row's
    std::size_t row_ = 0;
    LinePlace entry_;
    LogFiles::AheadReader lines_;
    std::optional<ReadBack<std::string_view>> raw_;
};

}  // namespace korvantis

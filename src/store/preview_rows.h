#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string_view>
#include <vector>

#include "decode/event_kinds.h"
#include "rules/rule_hit_sets.h"
#include "store/chunked_vector.h"
#include "store/mapped_rows.h"
#include "store/row_kind.h"
#include "store/row_view.h"
#include "store/store_index.h"

namespace korvantis {

// The rows of one kind, kept compactly: a row holds its line's place among
// the store's lines, the index of its type among the known names, and its
// texts as pointer and length. Reads give RowViews by value.
// Facts are kept beside the rows, and only from the first row that has any:
// a log of the viewer's own records spends nothing on them. Other rows name
// their type themselves (their kinds are not known names), so that list
// keeps the store's copy of each name beside its rows. The first rows may be
// read in place from mapped rows (see MappedRows); those pushed later follow
// them.
class PreviewRows {
    struct Stored {
        const char* timestamp;
        const char* path;
        std::int64_t pid;
        std::int64_t ppid;  // unused by file rows
        TimeValue time;
        std::uint32_t place;
        std::uint32_t timestampLength;
        std::uint32_t pathLength;
        std::uint8_t type;  // other rows: the length of the name, at most 255
    };
    // The first rows, read in place.
    struct MappedPrefix {
        std::shared_ptr<const MappedRows> rows;
        std::size_t count = 0;
    };

  public:
    // A row that matches detection rules, kept apart in row order: only
    // rows with hits pay for them, 8 bytes each (a third of a trace may have
    // hits, so its set is named by number rather than by pointer).
    struct Hit {
        std::uint32_t row;
        std::uint32_t set;  // see RuleHitSets::at()
    };
    static_assert(sizeof(Hit) == 8);

    // `sets` names the hits of every row and must outlive the list.
    PreviewRows(RowKind kind, const RuleHitSets& sets) : kind_(kind), sets_(&sets) {}

    RowKind kind() const { return kind_; }
    std::size_t size() const { return mapped_.count + rows_.size(); }
    bool empty() const { return size() == 0; }
    RowView operator[](std::size_t i) const { return view(i, RowPart::whole); }
    // Row i with at least `parts` filled in (rows read in place, only those).
    RowView view(std::size_t i, RowParts parts) const {
        return viewOf(kind_, mapped_, rows_, facts_, typeNames_, *sets_, *hits_, i, parts);
    }
    RowView rowView(std::size_t i) const { return (*this)[i]; }
    // Row i without its rule hits: a reader of every row that never looks
    // at them (the runs of processes, on the store's thread) is spared a
    // search among the rows that have some.
    RowView rowViewWithoutHits(std::size_t i) const {
        return viewWithoutHits(kind_, mapped_, rows_, facts_, typeNames_, i, RowPart::whole);
    }
    RowView back() const { return (*this)[size() - 1]; }
    // The event type of process or file row i, as its place in
    // kEventKindNames (other rows name theirs: see view()).
    EventKind typeOf(std::size_t i) const {
        return i < mapped_.count ? mapped_.rows->typeOf(kind_, i) : rows_[i - mapped_.count].type;
    }
    // Row i is soon to be read (see MappedRows::prefetch).
    void prefetch(std::size_t i) const {
        if (i < mapped_.count) {
            mapped_.rows->prefetch(kind_, i);
        }
    }
    // The line's place among the store's lines.
    LinePlace placeOf(std::size_t i) const { return placeIn(kind_, mapped_, rows_, i); }
    // The earliest time value among the rows (kNoTimeValue: none has one).
    TimeValue earliestTime() const { return earliest_; }

    // `place` is the line's place among the store's lines; `type` the index
    // of its type among the known names (unused by other rows); the texts
    // must outlive the list.
    void push_back(const RowView& row, std::uint32_t place, std::uint8_t type) {
        Stored r{};
        r.timestamp = row.timestamp.data();
        r.timestampLength = static_cast<std::uint32_t>(row.timestamp.size());
        r.path = row.path.data();
        r.pathLength = static_cast<std::uint32_t>(row.path.size());
        r.pid = row.pid;
        r.ppid = row.hasPpid() ? row.ppid : 0;
        r.time = row.time;
        if (row.time != kNoTimeValue && (earliest_ == kNoTimeValue || row.time < earliest_)) {
            earliest_ = row.time;
        }
        r.place = place;
        r.type = type;
        if (kind_ == RowKind::other) {
            r.type = static_cast<std::uint8_t>(std::min<std::size_t>(row.type.size(), 255));
            typeNames_.push_back(row.type.data());
        }
        rows_.push_back(r);
        if (row.ruleHits != nullptr) {
            hits_->push_back(Hit{static_cast<std::uint32_t>(size() - 1), row.ruleHits->number});
        }
        const char* facts = row.facts.encoded();
        if (facts != nullptr || !facts_.empty()) {
            while (facts_.size() + 1 < rows_.size()) {
                facts_.push_back(nullptr);
            }
            facts_.push_back(facts);
        }
    }

    // The rows of `kind_` in `mapped` become the first ones; only while
    // empty.
    void mapPrefix(std::shared_ptr<const MappedRows> mapped) {
        mapped_.count = mapped->rowCount(kind_);
        earliest_ = mapped->earliestTime(kind_);
        mapped_.rows = std::move(mapped);
    }

    // Mapped rows of the same lines as the rows pushed so far (and more)
    // take their place as the first ones: snapshots taken before go on
    // reading the pushed ones, which this list keeps. Only while none is
    // mapped, after reserveToReplacePushed(); cannot fail.
    void reserveToReplacePushed() {
        retiredRoom_.reserve(retiredRoom_.size() + rows_.blocks() + facts_.blocks() +
                             typeNames_.blocks() + hits_->blocks());
    }
    void replacePushedByMapped(std::shared_ptr<const MappedRows> mapped) noexcept {
        rows_.giveRoomTo(retiredRoom_);
        facts_.giveRoomTo(retiredRoom_);
        typeNames_.giveRoomTo(retiredRoom_);
        hits_->giveRoomTo(retiredRoom_);
        mapPrefix(std::move(mapped));
    }

    // The sizes of the lists at one moment, to go back to when a batch of
    // rows cannot be filed whole.
    struct Mark {
        std::size_t rows = 0;
        std::size_t facts = 0;
        std::size_t typeNames = 0;
        std::size_t hits = 0;
        TimeValue earliest = kNoTimeValue;
        std::size_t mapped = 0;
    };
    Mark mark() const {
        return Mark{rows_.size(),  facts_.size(), typeNames_.size(),
                    hits_->size(), earliest_,     mapped_.count};
    }
    // Drops every row pushed since `mark` was taken.
    void rollBack(const Mark& mark) {
        rows_.shrinkTo(mark.rows);
        facts_.shrinkTo(mark.facts);
        typeNames_.shrinkTo(mark.typeNames);
        hits_->shrinkTo(mark.hits);
        earliest_ = mark.earliest;
        if (mark.mapped == 0) {
            mapped_ = MappedPrefix();
        }
    }

    // The first `count` rows as they are now, readable from a worker thread
    // while the store goes on appending (see ChunkedVector::Snapshot). Taken
    // on the store's thread; the store must outlive it.
    class Snapshot {
      public:
        Snapshot() = default;
        RowKind kind() const { return kind_; }
        std::size_t size() const { return mapped_.count + rows_.size(); }
        RowView operator[](std::size_t i) const {
            return viewOf(kind_, mapped_, rows_, facts_, typeNames_, *sets_, hits_, i,
                          RowPart::whole);
        }
        RowView rowView(std::size_t i) const { return (*this)[i]; }
        // Row i with no rule hits and at least `parts` filled in: a reader
        // that never looks at the hits is spared the search among the rows
        // that have some.
        RowView rowViewWithoutHits(std::size_t i, RowParts parts = RowPart::whole) const {
            return viewWithoutHits(kind_, mapped_, rows_, facts_, typeNames_, i, parts);
        }
        // Row i's time value alone, for readers of nothing else.
        TimeValue timeOf(std::size_t i) const {
            return i < mapped_.count ? mapped_.rows->row(kind_, i, RowPart::numbers).time
                                     : rows_[i - mapped_.count].time;
        }
        // The rule hits of rows asked for in ascending order: each look-up
        // steps on from the one before rather than searching anew, so a
        // pass over the rows pays once for all of them.
        class HitCursor {
          public:
            // Row i's hits; i must not be below the row asked for before.
            const RuleHitSet* at(std::size_t i) {
                while (next_ < hits_->size() && (*hits_)[next_].row < i) {
                    ++next_;
                }
                return next_ < hits_->size() && (*hits_)[next_].row == i
                           ? &sets_->at((*hits_)[next_].set)
                           : nullptr;
            }

          private:
            friend class Snapshot;
            HitCursor(const RuleHitSets& sets, const ChunkedVector<Hit>::Snapshot& hits,
                      std::size_t next)
                : sets_(&sets), hits_(&hits), next_(next) {}
            const RuleHitSets* sets_;
            const ChunkedVector<Hit>::Snapshot* hits_;
            std::size_t next_;
        };
        // A cursor whose first look-up is of row `from` or later.
        HitCursor hitsFrom(std::size_t from) const {
            return {*sets_, hits_, lowerHit(hits_, from)};
        }
        // Asks for row i's texts ahead of their turn: they lie wherever the
        // load kept them, so in a pass over many rows nearly every one
        // misses the processor's caches.
        void prefetchTexts(std::size_t i) const {
            if (i >= mapped_.count && i < size()) {
                const Stored& r = rows_[i - mapped_.count];
                __builtin_prefetch(r.path);
                __builtin_prefetch(r.timestamp);
            }
        }
        LinePlace placeOf(std::size_t i) const { return placeIn(kind_, mapped_, rows_, i); }

      private:
        friend class PreviewRows;
        Snapshot(RowKind kind, const RuleHitSets& sets, MappedPrefix mapped,
                 ChunkedVector<Stored>::Snapshot rows, ChunkedVector<const char*>::Snapshot facts,
                 ChunkedVector<const char*>::Snapshot typeNames, ChunkedVector<Hit>::Snapshot hits)
            : kind_(kind),
              sets_(&sets),
              mapped_(std::move(mapped)),
              rows_(std::move(rows)),
              facts_(std::move(facts)),
              typeNames_(std::move(typeNames)),
              hits_(std::move(hits)) {}
        RowKind kind_ = RowKind::process;
        const RuleHitSets* sets_ = nullptr;
        MappedPrefix mapped_;
        ChunkedVector<Stored>::Snapshot rows_;
        ChunkedVector<const char*>::Snapshot facts_;
        ChunkedVector<const char*>::Snapshot typeNames_;
        ChunkedVector<Hit>::Snapshot hits_;
    };
    Snapshot snapshot(std::size_t count) const {
        count = std::min(count, size());
        MappedPrefix mapped = mapped_;
        mapped.count = std::min(count, mapped.count);
        count -= mapped.count;
        return Snapshot(kind_, *sets_, std::move(mapped), rows_.snapshot(count),
                        facts_.snapshot(std::min(count, facts_.size())),
                        typeNames_.snapshot(std::min(count, typeNames_.size())),
                        hits_->snapshot(hits_->size()));
    }

    // The hits of the rows before `rows` become `hits` (in row order, rows
    // below `rows`); the later rows keep theirs. Snapshots taken before go
    // on reading the hits they saw, which are kept while this list lives.
    void replaceHits(std::size_t rows, const std::vector<Hit>& hits) {
        auto replaced = std::make_unique<ChunkedVector<Hit>>();
        for (const Hit& h : hits) {
            replaced->push_back(h);
        }
        for (std::size_t i = 0; i < hits_->size(); ++i) {
            if ((*hits_)[i].row >= rows) {
                replaced->push_back((*hits_)[i]);
            }
        }
        retiredHits_.push_back(std::move(hits_));
        hits_ = std::move(replaced);
    }

    class const_iterator {
      public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = RowView;
        using difference_type = std::ptrdiff_t;
        using reference = RowView;
        using pointer = void;
        const_iterator() = default;
        const_iterator(const PreviewRows* rows, std::size_t i) : rows_(rows), i_(i) {}
        RowView operator*() const { return (*rows_)[i_]; }
        const_iterator& operator++() {
            ++i_;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator t = *this;
            ++i_;
            return t;
        }
        difference_type operator-(const const_iterator& o) const {
            return static_cast<difference_type>(i_) - static_cast<difference_type>(o.i_);
        }
        bool operator==(const const_iterator& o) const { return i_ == o.i_; }

      private:
        const PreviewRows* rows_ = nullptr;
        std::size_t i_ = 0;
    };
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

  private:
    // Rows before the first one with facts have none; only other rows have
    // names of their own.
    template <typename Texts>
    static const char* at(const Texts& texts, std::size_t i) {
        return i < texts.size() ? texts[i] : nullptr;
    }
    // The first of the rows with hits that is not below row i.
    template <typename Hits>
    static std::size_t lowerHit(const Hits& hits, std::size_t i) {
        std::size_t low = 0, high = hits.size();
        while (low < high) {
            const std::size_t mid = low + (high - low) / 2;
            if (hits[mid].row < i) {
                low = mid + 1;
            } else {
                high = mid;
            }
        }
        return low;
    }
    // Row i's hits: a search among the rows with hits.
    template <typename Hits>
    static const RuleHitSet* hitsOf(const RuleHitSets& sets, const Hits& hits, std::size_t i) {
        const std::size_t low = lowerHit(hits, i);
        return low < hits.size() && hits[low].row == i ? &sets.at(hits[low].set) : nullptr;
    }
    // Row i of a list: read in place, or kept (the lists of kept rows hold
    // them from the first one after the mapped ones).
    template <typename Rows, typename Texts, typename Hits>
    static RowView viewOf(RowKind kind, const MappedPrefix& mapped, const Rows& rows,
                          const Texts& facts, const Texts& typeNames, const RuleHitSets& sets,
                          const Hits& hits, std::size_t i, RowParts parts) {
        if (i < mapped.count) {
            RowView row = mapped.rows->row(kind, i, parts);
            row.ruleHits = hitsOf(sets, hits, i);
            return row;
        }
        const std::size_t k = i - mapped.count;
        return viewOf(kind, rows[k], at(facts, k), at(typeNames, k), hitsOf(sets, hits, i));
    }
    // Row i of a list, its hits left out.
    template <typename Rows, typename Texts>
    static RowView viewWithoutHits(RowKind kind, const MappedPrefix& mapped, const Rows& rows,
                                   const Texts& facts, const Texts& typeNames, std::size_t i,
                                   RowParts parts) {
        if (i < mapped.count) {
            return mapped.rows->row(kind, i, parts);
        }
        const std::size_t k = i - mapped.count;
        return viewOf(kind, rows[k], at(facts, k), at(typeNames, k), nullptr);
    }
    template <typename Rows>
    static LinePlace placeIn(RowKind kind, const MappedPrefix& mapped, const Rows& rows,
                             std::size_t i) {
        return i < mapped.count ? LinePlace(mapped.rows->lineOf(kind, i))
                                : LinePlace(rows[i - mapped.count].place);
    }
    static RowView viewOf(RowKind kind, const Stored& r, const char* facts, const char* typeName,
                          const RuleHitSet* hits) {
        RowView row;
        row.kind = kind;
        row.ruleHits = hits;
        row.facts = RowFacts(facts);
        row.type =
            kind == RowKind::other ? std::string_view(typeName, r.type) : kEventKindNames[r.type];
        row.timestamp = std::string_view(r.timestamp, r.timestampLength);
        row.path = std::string_view(r.path, r.pathLength);
        row.pid = r.pid;
        row.ppid = r.ppid;
        row.time = r.time;
        return row;
    }

    RowKind kind_;
    const RuleHitSets* sets_;
    MappedPrefix mapped_;
    ChunkedVector<Stored> rows_;
    ChunkedVector<const char*> facts_;      // empty until a row has facts, then one per row
    ChunkedVector<const char*> typeNames_;  // other rows' type names, one per row
    std::unique_ptr<ChunkedVector<Hit>> hits_ = std::make_unique<ChunkedVector<Hit>>();
    std::vector<std::unique_ptr<ChunkedVector<Hit>>> retiredHits_;
    std::vector<LargeBlock> retiredRoom_;  // of rows mapped ones replaced
    TimeValue earliest_ = kNoTimeValue;
};

}  // namespace korvantis

#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string_view>
#include <type_traits>
#include <vector>

#include "ingest/event_kinds.h"
#include "store/chunked_vector.h"
#include "store/line_ref_table.h"
#include "store/preview_entries.h"
#include "store/row_view.h"

namespace korvantis {

// A list of preview entries kept compactly: a row holds its line's place in
// lineRefs (where its id is) instead of the id, the index of its type
// among the known names, and its texts as pointer and length. A million rows
// take half the memory of the entries themselves. Reads give entries by value.
// Facts are kept beside the rows, and only from the first row that has any:
// a log of the viewer's own records spends nothing on them.
template <typename Entry>
class PreviewRows {
    static constexpr bool kHasPpid = requires(Entry e) { e.ppid; };
    // Other rows name their type themselves: their kinds are not known
    // names, so the row keeps the store's copy of the name.
    static constexpr bool kIsOther = std::is_same_v<Entry, OtherPreviewEntry>;

    struct Row {
        const char* timestamp;
        const char* path;
        std::int64_t pid;
        std::int64_t ppid;  // unused by file rows
        TimeValue time;
        std::uint32_t entry;
        std::uint32_t timestampLength;
        std::uint32_t pathLength;
        std::uint8_t type;
    };
    struct FileRow {
        const char* timestamp;
        const char* path;
        std::int64_t pid;
        TimeValue time;
        std::uint32_t entry;
        std::uint32_t timestampLength;
        std::uint32_t pathLength;
        std::uint8_t type;
    };
    struct OtherRow : Row {
        const char* typeName;
    };
    using Stored =
        std::conditional_t<kIsOther, OtherRow, std::conditional_t<kHasPpid, Row, FileRow>>;

  public:
    // A row that matches detection rules, kept apart in row order: only
    // rows with hits pay for them.
    struct Hit {
        std::uint32_t row;
        const RuleHitSet* hits;
    };

    explicit PreviewRows(const LineRefTable& mapping) : mapping_(mapping) {}

    std::size_t size() const { return rows_.size(); }
    bool empty() const { return rows_.empty(); }
    Entry operator[](std::size_t i) const {
        Entry e = withoutId(i);
        e.id = mapping_.idOf(entryOf(i));
        return e;
    }
    // Row i's fields, its id left empty: an id costs a keyed permutation, so
    // what only paints or compares rows reads them this way (by place).
    Entry withoutId(std::size_t i) const {
        const Stored& r = rows_[i];
        Entry e;
        e.type = typeOf(r);
        e.timestamp = std::string_view(r.timestamp, r.timestampLength);
        e.pid = r.pid;
        if constexpr (kHasPpid) {
            e.ppid = r.ppid;
        }
        e.path = std::string_view(r.path, r.pathLength);
        e.facts = factsOf(facts_, i);
        e.time = r.time;
        e.ruleHits = hitsOf(*hits_, i);
        return e;
    }
    Entry back() const { return (*this)[size() - 1]; }
    // What a filter or an export reads of row i; no id is made.
    RowView rowView(std::size_t i) const {
        return rowViewOf(rows_[i], factsOf(facts_, i), hitsOf(*hits_, i));
    }
    // Whether some row has facts.
    bool hasFacts() const { return !facts_.empty(); }
    // The line's place in lineRefs.
    LinePlace entryOf(std::size_t i) const { return LinePlace(rows_[i].entry); }
    // The earliest time value among the rows (kNoTimeValue: none has one).
    TimeValue earliestTime() const { return earliest_; }

    // `entry` is the line's place in lineRefs; `type` the index of its
    // type among the known names; the texts must outlive the list.
    void push_back(const Entry& e, std::uint32_t entry, std::uint8_t type) {
        Stored r{};
        r.timestamp = e.timestamp.data();
        r.timestampLength = static_cast<std::uint32_t>(e.timestamp.size());
        r.path = e.path.data();
        r.pathLength = static_cast<std::uint32_t>(e.path.size());
        r.pid = e.pid;
        if constexpr (kHasPpid) {
            r.ppid = e.ppid;
        }
        r.time = e.time;
        if (e.time != kNoTimeValue && (earliest_ == kNoTimeValue || e.time < earliest_)) {
            earliest_ = e.time;
        }
        r.entry = entry;
        r.type = type;
        if constexpr (kIsOther) {
            r.typeName = e.type.data();
            r.type = static_cast<std::uint8_t>(std::min<std::size_t>(e.type.size(), 255));
        }
        rows_.push_back(r);
        if (e.ruleHits != nullptr) {
            hits_->push_back(Hit{static_cast<std::uint32_t>(rows_.size() - 1), e.ruleHits});
        }
        if (e.facts != nullptr || !facts_.empty()) {
            while (facts_.size() + 1 < rows_.size()) {
                facts_.push_back(nullptr);
            }
            facts_.push_back(e.facts);
        }
    }

    // The first `count` rows as they are now, readable from a worker thread
    // while the store goes on appending (see ChunkedVector::Snapshot). Taken
    // on the store's thread; the store must outlive it.
    class Snapshot {
      public:
        Snapshot() = default;
        std::size_t size() const { return rows_.size(); }
        RowView rowView(std::size_t i) const {
            return rowViewOf(rows_[i], factsOf(facts_, i), hitsOf(hits_, i));
        }
        LinePlace entryOf(std::size_t i) const { return LinePlace(rows_[i].entry); }

      private:
        friend class PreviewRows;
        Snapshot(typename ChunkedVector<Stored>::Snapshot rows,
                 typename ChunkedVector<const char*>::Snapshot facts,
                 typename ChunkedVector<Hit>::Snapshot hits)
            : rows_(std::move(rows)), facts_(std::move(facts)), hits_(std::move(hits)) {}
        typename ChunkedVector<Stored>::Snapshot rows_;
        typename ChunkedVector<const char*>::Snapshot facts_;
        typename ChunkedVector<Hit>::Snapshot hits_;
    };
    Snapshot snapshot(std::size_t count) const {
        return Snapshot(rows_.snapshot(count), facts_.snapshot(std::min(count, facts_.size())),
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
        using value_type = Entry;
        using difference_type = std::ptrdiff_t;
        using reference = Entry;
        using pointer = void;
        const_iterator() = default;
        const_iterator(const PreviewRows* rows, std::size_t i) : rows_(rows), i_(i) {}
        Entry operator*() const { return (*rows_)[i_]; }
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
    // Rows before the first one with facts have none.
    template <typename Facts>
    static const char* factsOf(const Facts& facts, std::size_t i) {
        return i < facts.size() ? facts[i] : nullptr;
    }
    // Row i's hits: a search among the rows with hits.
    template <typename Hits>
    static const RuleHitSet* hitsOf(const Hits& hits, std::size_t i) {
        std::size_t low = 0, high = hits.size();
        while (low < high) {
            const std::size_t mid = low + (high - low) / 2;
            if (hits[mid].row < i) {
                low = mid + 1;
            } else {
                high = mid;
            }
        }
        return low < hits.size() && hits[low].row == i ? hits[low].hits : nullptr;
    }
    static std::string_view typeOf(const Stored& r) {
        if constexpr (kIsOther) {
            return std::string_view(r.typeName, r.type);
        } else {
            return kEventKindNames[r.type];
        }
    }
    static RowView rowViewOf(const Stored& r, const char* facts, const RuleHitSet* hits) {
        RowView row;
        row.ruleHits = hits;
        row.facts = RowFacts(facts);
        row.isProcess = kHasPpid && !kIsOther;
        row.isOther = kIsOther;
        row.type = typeOf(r);
        row.timestamp = std::string_view(r.timestamp, r.timestampLength);
        row.path = std::string_view(r.path, r.pathLength);
        row.pid = r.pid;
        if constexpr (kHasPpid) {
            row.ppid = r.ppid;
        }
        row.time = r.time;
        return row;
    }

    const LineRefTable& mapping_;
    ChunkedVector<Stored> rows_;
    ChunkedVector<const char*> facts_;  // empty until a row has facts, then one per row
    std::unique_ptr<ChunkedVector<Hit>> hits_ = std::make_unique<ChunkedVector<Hit>>();
    std::vector<std::unique_ptr<ChunkedVector<Hit>>> retiredHits_;
    TimeValue earliest_ = kNoTimeValue;
};

}  // namespace korvantis

#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "store/chunked_vector.h"
#include "store/kept_lifetimes.h"
#include "store/lifetime_end.h"
#include "store/linear_probing_table.h"
#include "store/process_outcome.h"
#include "store/row_view.h"

namespace korvantis {

// The runs of the eslogger processes of one store. A process row with a pid
// version starts a run; the first later row (in load order) that is an exit
// of the same pid and pid version, or an exec of the same pid, ends it:
// eslogger gives the exec'd image a new pid version, so the exec's own row
// starts the next run. A later fork whose child has the pid (and another pid
// version) ends it too: the pid was reused, so the run ended without its
// exit being seen. Rows are taken as they arrive, each once; a run
// costs a few bytes.
class ProcessLifetimes {
  public:
    // The exit's type name, as other rows spell theirs.
    static constexpr std::string_view kExitType = "ES_EVENT_TYPE_NOTIFY_EXIT";

    // Takes the next row in load order: a process row or an
    // other row; rows of other kinds are not to be given. Views in `row`
    // need not outlive the call. Not after keep().
    void add(const RowView& row);
    // Before any row is taken: the runs of the first rows as `kept` has
    // them, read from there instead of worked out. Rows that come after
    // them (a followed log's, another log's) are taken with the kept ones
    // again, worked out from the first row on.
    void keep(std::shared_ptr<const KeptLifetimes> kept) {
        if (procs_ == 0 && others_ == 0) {
            kept_ = std::move(kept);
        }
    }
    // Forgets every row taken, as if none had been, for rows read in place
    // that take their place: snapshots taken before go on reading the
    // outcomes they saw. Only after reserveToRestart(); cannot fail.
    void reserveToRestart() { retiredRoom_.reserve(retiredRoom_.size() + outcomes_.blocks()); }
    void restart() noexcept {
        outcomes_.giveRoomTo(retiredRoom_);
        runs_.shrinkTo(0);
        how_.shrinkTo(0);
        ended_.shrinkTo(0);
        for (OpenRuns& open : open_) {
            open.clear();
        }
        exits_.clear();
        becameTexts_.clear();
        procs_ = 0;
        others_ = 0;
        kept_.reset();
    }
    // Takes the process and other rows not taken yet, in load order.
    // A list is anything with size(), placeOf(i) (its place in load order)
    // and rowView(i); a PreviewRows is one.
    // All or nothing: the memory the rows need is had first, so that when
    // it cannot be had (std::bad_alloc) no row is taken, and once it is,
    // taking them cannot fail half way.
    template <typename ProcRows, typename OtherRows>
    void catchUp(const ProcRows& procs, const OtherRows& others) {
        if (kept_) {
            if (procs.size() == kept_->processRows() && others.size() == kept_->otherRows()) {
                return;
            }
            kept_.reset();  // nothing was taken: all is worked out below
        }
        prepare(procs, others);
        std::size_t became = 0;
        while (procs_ < procs.size() || others_ < others.size()) {
            const bool proc =
                others_ == others.size() ||
                (procs_ < procs.size() && procs.placeOf(procs_) < others.placeOf(others_));
            if (proc) {
                const RowView row = procs.rowViewWithoutHits(procs_);
                addProcess(row, isExec(row) ? becameTexts_[became++] : nullptr);
                ++procs_;
            } else {
                add(others.rowViewWithoutHits(others_));
            }
        }
    }

    // The end of the run of process row `procRow` (counted among the process
    // rows taken).
    LifetimeEnd endOf(std::size_t procRow) const;
    // The process row whose run other row `otherRow` ends (the latest, when
    // several began the same run); nothing for a row that ends none.
    std::optional<std::size_t> endedBy(std::size_t otherRow) const;

    // How the run of each process row ended, as its `outcome` field says
    // (see process_outcome.h), readable from a worker thread while rows are
    // still being added: a run's outcome changes once, when it ends.
    class Outcomes {
      public:
        Outcomes() = default;
        std::size_t size() const { return kept_ ? size_ : texts_.size(); }
        std::string_view operator[](std::size_t procRow) const {
            return textOf(kept_ ? kept_->outcomeOf(procRow)
                                : texts_[procRow].load(std::memory_order_acquire));
        }

      private:
        friend class ProcessLifetimes;
        explicit Outcomes(ChunkedVector<std::atomic<const char*>>::Snapshot texts)
            : texts_(std::move(texts)) {}
        Outcomes(std::shared_ptr<const KeptLifetimes> kept, std::size_t size)
            : kept_(std::move(kept)), size_(size) {}
        ChunkedVector<std::atomic<const char*>>::Snapshot texts_;
        std::shared_ptr<const KeptLifetimes> kept_;  // when they are read from there
        std::size_t size_ = 0;
    };
    // The outcomes of the first `count` process rows taken.
    Outcomes outcomes(std::size_t count) const {
        if (kept_) {
            return Outcomes(kept_, std::min(count, kept_->processRows()));
        }
        return Outcomes(outcomes_.snapshot(std::min(count, outcomes_.size())));
    }
    std::string_view outcomeOf(std::size_t procRow) const {
        return textOf(kept_ ? kept_->outcomeOf(procRow)
                            : outcomes_[procRow].load(std::memory_order_acquire));
    }
    // The process rows whose runs have ended, in the order they ended: a
    // list filtered by outcome looks again at those ended since it last
    // looked (the outcome of a row already matched changed).
    std::size_t endedCount() const { return kept_ ? kept_->endedCount() : ended_.size(); }
    std::size_t endedRow(std::size_t i) const { return kept_ ? kept_->endedRow(i) : ended_[i]; }

    // What an index keeps of them: the rows taken, and the exits that end
    // runs (exit row, process row), by exit row (of runs worked out here).
    std::size_t processRows() const { return kept_ ? kept_->processRows() : procs_; }
    std::size_t otherRows() const { return kept_ ? kept_->otherRows() : others_; }
    const std::vector<std::pair<std::uint32_t, std::uint32_t>>& endingExits() const {
        return exits_;
    }

  private:
    static constexpr std::uint32_t kNone = UINT32_MAX;
    struct Run {
        std::int64_t pidversion;
        std::uint32_t end;   // see LifetimeEnd::row
        std::uint32_t next;  // the next open run of the same pid, or kNone
    };
    static bool isExec(const RowView& row);
    static bool isExit(const RowView& row);
    // Whether the process row has a pid version, and so starts a run.
    static bool opensRun(const RowView& row);
    // Has everything the rows not taken yet need: room in every list and
    // table, and the outcome texts (for each exec, in becameTexts_: the
    // text its run ends others with, when it may end some).
    template <typename ProcRows, typename OtherRows>
    void prepare(const ProcRows& procs, const OtherRows& others) {
        runs_.reserve(procs.size());
        how_.reserve(procs.size());
        outcomes_.reserve(procs.size());
        ended_.reserve(procs.size());  // a run ends once at most
        outcomeText(kEndedUnseenOutcome);
        std::size_t exits = 0;
        for (std::size_t i = others_; i < others.size(); ++i) {
            const RowView row = others.rowViewWithoutHits(i);
            if (isExit(row)) {
                outcomeText(exitOutcome(row.facts[Fact::summary]));
                ++exits;
            }
        }
        if (exits_.size() + exits > exits_.capacity()) {
            exits_.reserve(std::max(exits_.size() + exits, exits_.capacity() * 2));
        }
        // Only rows with a pid version open runs: the tables of open runs,
        // and this set of the pids that rows of the batch opened runs of,
        // are as large as those pids are many (none in a log without pid
        // versions), not as the batch's rows.
        std::array<std::size_t, kOpenRunTables> added{};
        LinearProbingTable<std::int64_t> opened;
        becameTexts_.clear();
        for (std::size_t i = procs_; i < procs.size(); ++i) {
            const RowView row = procs.rowViewWithoutHits(i);
            if (isExec(row)) {
                // Runs of its pid are open if they were before, or if a row
                // before it in the batch opened one.
                const bool mayEnd = hasOpenRuns(row.pid) || opened.contains(row.pid);
                becameTexts_.push_back(mayEnd ? outcomeText(becameOutcome(row.path)) : nullptr);
            }
            if (opensRun(row) && opened.insert(row.pid)) {
                ++added[static_cast<std::uint64_t>(row.pid) % kOpenRunTables];
            }
        }
        for (std::size_t t = 0; t < kOpenRunTables; ++t) {
            open_[t].reserve(open_[t].size() + added[t]);
        }
    }
    // `became`: the outcome text of the runs an exec ends (unused by other
    // rows; nullptr when the exec ends none).
    void addProcess(const RowView& row, const char* became);
    void addExit(const RowView& row);
    bool hasOpenRuns(std::int64_t pid);
    // Ends the open runs of `pid` at process row `end` with outcome `text`,
    // but those of pid version `kept`.
    void endOpenRuns(std::int64_t pid, LifetimeEnd::How how, std::uint32_t end, const char* text,
                     std::optional<std::int64_t> kept = std::nullopt);
    // A stored outcome text: NUL-terminated, kept once, never moved.
    const char* outcomeText(std::string_view text);
    static std::string_view textOf(const char* text) {
        return text == nullptr ? std::string_view() : std::string_view(text);
    }

    ChunkedVector<Run> runs_;              // per process row
    ChunkedVector<LifetimeEnd::How> how_;  // per process row
    // The open runs of each pid, latest first, linked through Run::next
    // (kNone: none open). Flat tables, split by pid: they grow on the
    // store's thread while a large log loads, and one growth of a single
    // table of millions of pids (or a node-based map's rehash) held that
    // thread for a hundred milliseconds or more.
    using OpenRuns = LinearProbingTable<std::int64_t, std::uint32_t>;
    static constexpr std::size_t kOpenRunTables = 64;
    OpenRuns& openRunsOf(std::int64_t pid) {
        return open_[static_cast<std::uint64_t>(pid) % kOpenRunTables];
    }
    std::array<OpenRuns, kOpenRunTables> open_;
    // (exit row, process row) for each exit that ends a run, by exit row.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> exits_;
    // Per process row: its outcome text (nullptr: none). The texts are few
    // (exit statuses, exec'd paths), each kept once.
    ChunkedVector<std::atomic<const char*>> outcomes_;
    struct TextHash : std::hash<std::string_view> {
        using is_transparent = void;
    };
    std::unordered_set<std::string, TextHash, std::equal_to<>> outcomeTexts_;
    ChunkedVector<std::uint32_t> ended_;         // see endedRow()
    std::vector<const char*> becameTexts_;       // see prepare()
    std::size_t procs_ = 0;                      // process rows taken
    std::size_t others_ = 0;                     // other rows taken
    std::shared_ptr<const KeptLifetimes> kept_;  // see keep()
    std::vector<LargeBlock> retiredRoom_;        // see restart()
};

}  // namespace korvantis

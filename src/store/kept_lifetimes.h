#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

#include "store/lifetime_end.h"

namespace korvantis {

// How the runs of a store's first process rows end, as an earlier load of
// the same rows worked it out and an index keeps it: read in place, never
// changed. The bytes were checked against the row counts when they were
// read; every read still stays within them whatever they say now (a file
// cut short under its mapping reads as zeros: runs not followed).
class KeptLifetimes {
  public:
    // Per process row, in the order of the rows.
    struct RunRecord {
        std::uint32_t end;      // see LifetimeEnd::row
        std::uint32_t outcome;  // the text's offset among `texts`; kNoOutcome: none
        std::uint8_t how;       // a LifetimeEnd::How
        std::uint8_t unused[3];
    };
    static_assert(sizeof(RunRecord) == 12);
    static constexpr std::uint32_t kNoOutcome = UINT32_MAX;
    // An exit that ends a run, by exit row.
    struct ExitRecord {
        std::uint32_t exitRow;  // among the other rows
        std::uint32_t procRow;  // the latest process row whose run it ends
    };
    static_assert(sizeof(ExitRecord) == 8);

    struct Parts {
        std::size_t processRows = 0;
        std::size_t otherRows = 0;
        std::string_view runs;   // a RunRecord per process row
        std::string_view ended;  // u32 process rows, in the order their runs ended
        std::string_view exits;  // ExitRecords
        std::string_view texts;  // the outcome texts, each ended by a NUL
    };

    // `owner` keeps the bytes of `parts` where they are.
    KeptLifetimes(const Parts& parts, std::shared_ptr<const void> owner)
        : parts_(parts), owner_(std::move(owner)) {}

    std::size_t processRows() const { return parts_.processRows; }
    std::size_t otherRows() const { return parts_.otherRows; }
    LifetimeEnd endOf(std::size_t procRow) const {
        const RunRecord r = run(procRow);
        const auto how = static_cast<LifetimeEnd::How>(r.how <= LifetimeEnd::kLastHow ? r.how : 0);
        const std::size_t bound =
            how == LifetimeEnd::How::exited ? parts_.otherRows : parts_.processRows;
        if (how == LifetimeEnd::How::untracked || how == LifetimeEnd::How::running ||
            r.end >= bound) {
            return {how == LifetimeEnd::How::running ? how : LifetimeEnd::How::untracked, 0};
        }
        return {how, r.end};
    }
    // NUL-terminated; nullptr: none.
    const char* outcomeOf(std::size_t procRow) const {
        const std::uint32_t at = run(procRow).outcome;
        return at < parts_.texts.size() ? parts_.texts.data() + at : nullptr;
    }
    std::size_t endedCount() const { return parts_.ended.size() / 4; }
    std::size_t endedRow(std::size_t i) const {
        std::uint32_t row;
        std::memcpy(&row, parts_.ended.data() + i * 4, 4);
        return row < parts_.processRows ? row : 0;
    }
    std::optional<std::size_t> endedBy(std::size_t otherRow) const {
        std::size_t first = 0;
        for (std::size_t last = exitCount(); first < last;) {
            const std::size_t mid = first + (last - first) / 2;
            if (exit(mid).exitRow < otherRow) {
                first = mid + 1;
            } else {
                last = mid;
            }
        }
        if (first == exitCount()) {
            return std::nullopt;
        }
        const ExitRecord e = exit(first);
        if (e.exitRow != otherRow || e.procRow >= parts_.processRows) {
            return std::nullopt;
        }
        return e.procRow;
    }

  private:
    RunRecord run(std::size_t procRow) const {
        RunRecord r;
        std::memcpy(&r, parts_.runs.data() + procRow * sizeof r, sizeof r);
        return r;
    }
    std::size_t exitCount() const { return parts_.exits.size() / sizeof(ExitRecord); }
    ExitRecord exit(std::size_t i) const {
        ExitRecord e;
        std::memcpy(&e, parts_.exits.data() + i * sizeof e, sizeof e);
        return e;
    }

    Parts parts_;
    std::shared_ptr<const void> owner_;
};

}  // namespace korvantis

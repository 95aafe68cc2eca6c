#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "decode/time_value.h"
#include "query/rows_snapshot.h"
#include "query/text_tally.h"
#include "store/row_view.h"

namespace korvantis {

// A name with the rows counted for it; `processes` is the number of
// distinct pids among them (kept for programs only).
struct NamedCount {
    std::string name;
    std::uint64_t events = 0;
    std::uint64_t processes = 0;
    bool operator==(const NamedCount&) const = default;
};

// A second's start and the rows in it.
struct BusySecond {
    TimeValue start = 0;
    std::uint64_t rows = 0;
    bool operator==(const BusySecond&) const = default;
};

// Who did most in a trace, over every row of the three lists: the rows per
// event type (all of them), the programs with most rows, the file paths of
// most file rows, the seconds of most rows. Lists are most first, ties by
// the bytes of the name (seconds: earlier first).
struct TraceSummary {
    std::uint64_t rows = 0;
    std::vector<NamedCount> types;
    std::vector<NamedCount> programs;
    std::vector<NamedCount> paths;
    std::vector<BusySecond> seconds;
    bool operator==(const TraceSummary&) const = default;
};

inline constexpr std::size_t kSummaryTop = 20;      // programs and paths listed
inline constexpr std::size_t kSummarySeconds = 10;  // busiest seconds listed

// Counts rows handed in load order. A row's program is the executable path
// of the process it is about: a process row's own path; for the other rows
// the `process_path` fact, or without one (the viewer's own records) the
// path of the latest earlier process row of the same pid; a row with
// neither, or with an empty one, counts for no program. File rows without a
// path count for no path.
class TraceSummaryBuilder {
  public:
    // The row's texts must stay valid until finish().
    void add(const RowView& row);
    // The summary of the rows added so far; more may be added after.
    TraceSummary finish(std::size_t top = kSummaryTop, std::size_t seconds = kSummarySeconds) const;

  private:
    void addProgram(std::string_view program, std::int64_t pid);

    std::uint64_t rows_ = 0;
    TextTally types_;
    TextTally paths_;
    TextTally programs_;
    std::unordered_map<std::int64_t, std::string_view> programOfPid_;
    // Per program place: the pid of its last row.
    std::vector<std::int64_t> lastPidOfProgram_;
    // (program place, pid) each time a program's rows change pid; made
    // unique, they count its processes.
    std::vector<std::pair<std::uint32_t, std::int64_t>> programPids_;
    std::unordered_map<TimeValue, std::uint64_t> seconds_;  // rows per second's start
    TimeValue lastSecond_ = kNoTimeValue;
    std::uint64_t* lastSecondRows_ = nullptr;
};

// The summary of every row of a snapshot, in load order. Any thread.
TraceSummary summarizeTrace(const RowsSnapshot& rows);

// A line of the summary a user can pick, and the filter it stands for.
struct SummaryLine {
    enum class Kind { type, program, path, second };
    Kind kind = Kind::type;
    std::string name;     // the type, program or path
    TimeValue start = 0;  // a second's start
};
// The terms that keep a line's rows: `type:"T"`, `process_path:"P"` for a
// program (its rows are those of its processes, file events included),
// `path:"P"` for a file path, or the second as `after:`/`before:` bounds.
// Empty when the name is (or is cut to) nothing.
std::string summaryLineTerms(const SummaryLine& line);
// `query` with the line's terms in place of `previous`, the terms the last
// click on a summary line wrote; the user's own terms stay.
std::string withSummaryLine(std::string_view query, const SummaryLine& line,
                            std::string_view previous = {});

}  // namespace korvantis

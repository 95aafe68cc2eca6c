#include "inspect/lifetime_lines.h"

#include <algorithm>
#include <cstdint>

#include "describe/lifetime_text.h"
#include "inspect/terminal_text.h"

namespace korvantis {

namespace {

// A run of consecutive lines of a log that are load errors alone.
struct ErrorRun {
    std::uint64_t line = 0;
    std::uint64_t lines = 0;
    bool operator<(const ErrorRun& other) const { return line < other.line; }
};

// The runs of load errors that are lines alone, per log, in order.
std::vector<std::vector<ErrorRun>> errorRunsByLog(const EventStore& store) {
    std::vector<std::vector<ErrorRun>> runs(store.logFiles().size());
    store.loadErrors().forEachLineRun(
        [&](std::uint32_t log, std::uint64_t line, std::uint64_t lines) {
            if (log < runs.size()) {
                runs[log].push_back(ErrorRun{line, lines});
            }
        });
    for (std::vector<ErrorRun>& log : runs) {
        std::sort(log.begin(), log.end());
    }
    return runs;
}

}  // namespace

std::string lifetimeLines(const EventStore& store, const std::vector<LoadOutcome>& outcomes) {
    std::vector<std::string> names;
    for (const LoadOutcome& outcome : outcomes) {
        if (outcome.opened) {
            names.push_back(outcome.path);
        }
    }
    const std::vector<std::vector<ErrorRun>> errors = errorRunsByLog(store);
    const auto& procs = store.rows(RowKind::process);
    // Every line of a log is a stored line or a load error that is a line
    // alone: the stored lines are counted and the errors merged in, in one
    // walk over the stored lines (as EventStore::lineNumberOf does for one).
    std::string out;
    std::size_t proc = 0;
    std::uint32_t log = UINT32_MAX;
    std::uint64_t stored = 0;      // of the current log, up to this line
    std::size_t error = 0;         // of the current log's error runs, those before this line
    std::uint64_t errorLines = 0;  // the lines of those runs
    for (LinePlace entry(0); entry.value() < store.lineRefs().size() && proc < procs.size();
         ++entry) {
        if (store.lineRefs().ref(entry).log != log) {
            log = store.lineRefs().ref(entry).log;
            stored = 0;
            error = 0;
            errorLines = 0;
        }
        std::uint64_t number = ++stored + errorLines;
        const std::vector<ErrorRun>& logErrors = errors[log];
        while (error < logErrors.size() && logErrors[error].line <= number) {
            number += logErrors[error].lines;
            errorLines += logErrors[error].lines;
            ++error;
        }
        if (procs.placeOf(proc) != entry) {
            continue;
        }
        const std::string text = processLifetimeText(store, RowIndex(proc++));
        if (!text.empty()) {
            out += terminalText(log < names.size() ? names[log] : store.logFiles().path(log));
            out += ":" + std::to_string(number) + "\t" + terminalText(text) + "\n";
        }
    }
    return out;
}

}  // namespace korvantis

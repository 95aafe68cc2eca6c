#include "inspect/lifetime_lines.h"

#include <algorithm>
#include <cstdint>

#include "store/lifetime_text.h"

namespace korvantis {

namespace {

// The line numbers of the load errors that are lines alone, per log, in order.
std::vector<std::vector<std::uint64_t>> errorLinesByLog(const EventStore& store) {
    std::vector<std::vector<std::uint64_t>> lines(store.logFiles().size());
    store.loadErrors().forEach([&](std::size_t, const LoadErrors::Entry& e) {
        if (e.isLine && e.origin.log < lines.size()) {
            lines[e.origin.log].push_back(e.origin.line);
        }
    });
    for (std::vector<std::uint64_t>& log : lines) {
        std::sort(log.begin(), log.end());
    }
    return lines;
}

}  // namespace

std::string lifetimeLines(const EventStore& store, const std::vector<LoadOutcome>& outcomes) {
    std::vector<std::string> names;
    for (const LoadOutcome& outcome : outcomes) {
        if (outcome.opened) {
            names.push_back(outcome.path);
        }
    }
    const std::vector<std::vector<std::uint64_t>> errors = errorLinesByLog(store);
    const auto& procs = store.rows(RowKind::process);
    // Every line of a log is a stored line or a load error that is a line
    // alone: the stored lines are counted and the errors merged in, in one
    // walk over the stored lines (as EventStore::lineNumberOf does for one).
    std::string out;
    std::size_t proc = 0;
    std::uint32_t log = UINT32_MAX;
    std::uint64_t stored = 0;  // of the current log, up to this line
    std::size_t error = 0;     // of the current log's errors, those before this line
    for (LinePlace entry(0); entry.value() < store.lineRefs().size() && proc < procs.size();
         ++entry) {
        if (store.lineRefs().ref(entry).log != log) {
            log = store.lineRefs().ref(entry).log;
            stored = 0;
            error = 0;
        }
        std::uint64_t number = ++stored + error;
        const std::vector<std::uint64_t>& logErrors = errors[log];
        while (error < logErrors.size() && logErrors[error] <= number) {
            ++error;
            ++number;
        }
        if (procs.placeOf(proc) != entry) {
            continue;
        }
        const std::string text = processLifetimeText(store, RowIndex(proc++));
        if (!text.empty()) {
            out += log < names.size() ? names[log] : store.logFiles().path(log);
            out += ":" + std::to_string(number) + "\t" + text + "\n";
        }
    }
    return out;
}

}  // namespace korvantis

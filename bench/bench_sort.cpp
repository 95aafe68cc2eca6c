// Prints how long sorting a loaded log's rows takes, per field and
// direction (the keys made from the rows, then the sort), per list and over
// every row as the export sorts them; the timeline's count; the summary.
// Usage: bench_sort LOG

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <ctime>
#include <string>

#include "load/task_queue.h"
#include "query/row_sort.h"
#include "query/time_slices.h"
#include "query/trace_summary.h"
#include "workspace/workspace.h"

using korvantis::RowKind;

namespace {

template <typename Rows>
void timeSorts(const char* list, const Rows& rows) {
    for (const char* name : {"path", "timestamp", "pid", "type"}) {
        const korvantis::FieldId field = korvantis::parseRowSort(name)->field;
        for (const bool descending : {false, true}) {
            const auto started = std::chrono::steady_clock::now();
            const auto keys = korvantis::sortKeys(field, rows.size(),
                                                  [&](std::size_t i) { return rows.rowView(i); });
            const auto order =
                korvantis::sortedOrder(keys, korvantis::sortKindOf(field), descending);
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
            std::printf("%s rows %zu, sort by %s%s: %.3f s\n", list, order.size(),
                        descending ? "-" : "", name, took.count());
        }
    }
}

// Every row of the process and file lists as one list, as the export sorts.
struct AllRows {
    const korvantis::PreviewRows& procs;
    const korvantis::PreviewRows& files;
    std::size_t size() const { return procs.size() + files.size(); }
    korvantis::RowView rowView(std::size_t i) const {
        return i < procs.size() ? procs.rowView(i) : files.rowView(i - procs.size());
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_sort LOG\n");
        return 2;
    }
    korvantis::TaskQueue tasks;
    korvantis::Workspace workspace(tasks.poster());
    workspace.loader.setTreeFactsWanted(false);
    workspace.loader.loadJsonFile(argv[1]);
    tasks.runUntil([&] { return !workspace.loader.outcomes().empty(); });
    timeSorts("process", workspace.store.rows(RowKind::process));
    timeSorts("file", workspace.store.rows(RowKind::file));
    timeSorts("all",
              AllRows{workspace.store.rows(RowKind::process), workspace.store.rows(RowKind::file)});

    // What the timeline's worker does after a filter change: the span, then
    // every row counted into its slice.
    const auto& procs = workspace.store.rows(RowKind::process);
    const auto& files = workspace.store.rows(RowKind::file);
    const auto started = std::chrono::steady_clock::now();
    korvantis::TimeValue first = INT64_MAX;
    korvantis::TimeValue last = INT64_MIN;
    for (std::size_t i = 0; i < procs.size(); ++i) {
        const auto t = procs.rowView(i).time;
        first = t != korvantis::kNoTimeValue ? std::min(first, t) : first;
        last = std::max(last, t);
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto t = files.rowView(i).time;
        first = t != korvantis::kNoTimeValue ? std::min(first, t) : first;
        last = std::max(last, t);
    }
    korvantis::TimeSlices slices(first, last, 240);
    for (std::size_t i = 0; i < procs.size(); ++i) {
        slices.add(procs.rowView(i).time, korvantis::RowKind::process);
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        slices.add(files.rowView(i).time, korvantis::RowKind::file);
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    std::printf("timeline slices of %zu rows: %.3f s\n", procs.size() + files.size(), took.count());

    // The summary window's worker: a snapshot, then every row counted.
    // Beside the wall time, the processor time it took (on a busy machine
    // the thread also waits for a processor).
    for (int round = 0; round < 3; ++round) {
        const auto begun = std::chrono::steady_clock::now();
        const std::clock_t cpu = std::clock();
        const korvantis::TraceSummary summary =
            korvantis::summarizeTrace(korvantis::RowsSnapshot::of(workspace.store));
        const std::chrono::duration<double> counted = std::chrono::steady_clock::now() - begun;
        std::printf("summary of %llu rows: %.3f s, processor %.3f s (target 1 s)\n",
                    static_cast<unsigned long long>(summary.rows), counted.count(),
                    static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC);
    }
    return 0;
}

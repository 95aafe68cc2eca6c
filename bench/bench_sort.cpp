// Prints how long sorting a loaded log's rows takes, per field and
// direction: the keys made from the rows, then the sort.
// Usage: bench_sort LOG

#include <chrono>
#include <cstdio>
#include <string>

#include "load/task_queue.h"
#include "query/row_fields.h"
#include "query/row_sort.h"
#include "workspace/workspace.h"

namespace {

template <typename Rows>
void timeSorts(const char* list, const Rows& rows) {
    for (const char* name : {"path", "timestamp", "pid", "type"}) {
        const korvantis::RowField& field = *korvantis::rowFieldNamed(name);
        for (const bool descending : {false, true}) {
            const auto started = std::chrono::steady_clock::now();
            const auto keys = korvantis::sortKeys(field, rows.size(),
                                                  [&](std::size_t i) { return rows.filterRow(i); });
            const auto order = korvantis::sortedOrder(keys, field.kind, descending);
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
            std::printf("%s rows %zu, sort by %s%s: %.3f s\n", list, order.size(),
                        descending ? "-" : "", name, took.count());
        }
    }
}

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
    timeSorts("process", workspace.store.procPreviews());
    timeSorts("file", workspace.store.filePreviews());
    return 0;
}

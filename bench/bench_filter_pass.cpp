// Filter pass benchmark: loads LOG as the viewer does, then runs each QUERY
// over every row of each list the way a filtered list or a highlight rule
// does on its worker (the rows cut into parts matched side by side), and
// prints the wall and processor milliseconds of each, best of a few runs.
//
// Usage: bench_filter_pass LOG QUERY...   (RUNS=3)

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_support.h"
#include "query/filter_pass.h"
#include "query/rows_snapshot.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_filter_pass LOG QUERY...\n");
        return 2;
    }
    using namespace korvantis;
    const int runs = std::getenv("RUNS") != nullptr ? std::atoi(std::getenv("RUNS")) : 3;
    TaskQueue tasks;
    Workspace ws(tasks.poster());
    bench::loadLog(ws, tasks, argv[1]);
    const RowsSnapshot snapshot = RowsSnapshot::of(ws.store);
    std::printf("rows: process %zu, file %zu, other %zu\n", snapshot.rows[RowKind::process].size(),
                snapshot.rows[RowKind::file].size(), snapshot.rows[RowKind::other].size());
    for (int q = 2; q < argc; ++q) {
        ParsedFilterQuery parsed = parseFilterQuery(argv[q]);
        if (!parsed.query) {
            std::fprintf(stderr, "not a query: %s\n", argv[q]);
            return 2;
        }
        const auto query = std::make_shared<const FilterQuery>(std::move(*parsed.query));
        double bestWall = 0;
        double bestCpu = 0;
        std::size_t shown = 0;
        for (int run = 0; run < runs; ++run) {
            const auto start = bench::Clock::now();
            const double cpuFrom = bench::processCpuMilliseconds();
            shown = 0;
            for (const RowKind kind : kRowKinds) {
                FilterPass pass;
                pass.list = kind;
                pass.query = query;
                pass.snapshot = snapshot;
                pass.to = snapshot.rows[kind].size();
                TreeSetCache trees;
                shown += runFilterPass(pass, trees, nullptr)->rows.size();
            }
            const double wall = bench::millisecondsSince(start);
            const double cpu = bench::processCpuMilliseconds() - cpuFrom;
            if (run == 0 || wall < bestWall) {
                bestWall = wall;
                bestCpu = cpu;
            }
        }
        std::printf("%-24s %9zu rows   wall %8.1f ms   cpu %8.1f ms\n", argv[q], shown, bestWall,
                    bestCpu);
    }
    return 0;
}

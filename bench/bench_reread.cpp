// Re-read benchmark: loads each LOG as the viewer does, then reads the text
// of 201 rows picked at random over the whole log, one at a time, as
// selecting a row does, and prints the median and the slowest read. For a
// compressed log this is the cost of its access points or block copy.
//
// Usage: bench_reread LOG...

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "bench_support.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_reread LOG...\n");
        return 2;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        korvantis::TaskQueue tasks;
        korvantis::Workspace ws(tasks.poster());
        ws.loader.setTreeFactsWanted(false);
        korvantis::bench::loadLog(ws, tasks, argv[i]);
        const std::size_t rows = ws.store.lineRefs().size();
        if (rows == 0) {
            std::fprintf(stderr, "%s: no rows\n", argv[i]);
            status = 1;
            continue;
        }
        std::mt19937_64 random(1);
        std::vector<double> ms;
        for (int r = 0; r < 201; ++r) {
            const std::size_t row = random() % rows;
            const auto start = std::chrono::steady_clock::now();
            const auto text = ws.store.lineText(korvantis::LinePlace(row));
            const std::chrono::duration<double, std::milli> took =
                std::chrono::steady_clock::now() - start;
            if (!text) {
                std::fprintf(stderr, "%s: row %zu cannot be read again\n", argv[i], row);
                status = 1;
                break;
            }
            ms.push_back(took.count());
        }
        std::sort(ms.begin(), ms.end());
        std::printf("%s: re-read of one row: median %.2f ms, slowest %.2f ms (%zu rows)\n", argv[i],
                    ms[ms.size() / 2], ms.back(), ms.size());
    }
    return status;
}

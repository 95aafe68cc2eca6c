// Filter benchmark: loads a log (by default 1,000,000 lines made with
// korvantis-genlog), then filters all rows of both lists with one query of
// each kind and prints the median of a few runs on one core: once over the
// rows as today's store holds them (texts are views into the raw lines, so
// every row's path is a cache miss of its own) and once over a compact copy
// of the row texts, laid out in row order as a store without raw lines in
// memory would keep them.
//
// Usage: bench_filter [LOG] [--runs N] [--query QUERY]...
// (--query replaces the built-in list of queries)

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "bench_support.h"
#include "inspect/store_rows.h"
#include "query/filter_query.h"

using korvantis::RowKind;

namespace {

using korvantis::bench::Clock;
using korvantis::bench::millisecondsSince;
using korvantis::bench::threadCpuMilliseconds;

// Filters every row the way a view would: tree sets made afresh, matching
// row indexes gathered. Returns the number of matches.
std::size_t runQuery(const std::string& text, const std::vector<korvantis::ExportRow>& rows,
                     const std::vector<korvantis::ProcessLink>& links,
                     std::vector<std::uint32_t>& shown) {
    korvantis::ParsedFilterQuery parsed = korvantis::parseFilterQuery(text);
    if (!parsed.query) {
        std::fprintf(stderr, "bad query %s: %s\n", text.c_str(), parsed.error.c_str());
        std::exit(1);
    }
    korvantis::FilterQuery& query = *parsed.query;
    if (!query.treeRoots().empty()) {
        query.bindTrees(links);
    }
    shown.clear();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const korvantis::ExportRow& row = rows[i];
        // Fetch texts a few rows ahead, as a view's filter loop should: in
        // today's store each row's texts lie in a different raw line.
        if (i + 16 < rows.size()) {
            __builtin_prefetch(rows[i + 16].row.path.data());
            __builtin_prefetch(rows[i + 16].row.timestamp.data());
        }
        if (query.matches(row.row, [&] { return row.rawLine; })) {
            shown.push_back(static_cast<std::uint32_t>(i));
        }
    }
    return shown.size();
}

}  // namespace

// Copies the texts of `rows` into `arena`, one row after another, and points
// the copies' views at it; raw lines stay where they are.
std::vector<korvantis::ExportRow> compactCopy(const std::vector<korvantis::ExportRow>& rows,
                                              std::string& arena) {
    std::size_t bytes = 0;
    for (const auto& r : rows) {
        bytes += r.row.type.size() + r.row.timestamp.size() + r.row.path.size();
    }
    arena.clear();
    arena.reserve(bytes);
    std::vector<korvantis::ExportRow> copy = rows;
    const auto place = [&](std::string_view& text) {
        const std::size_t at = arena.size();
        arena += text;
        text = std::string_view(arena.data() + at, text.size());
    };
    for (auto& r : copy) {
        place(r.row.type);
        place(r.row.timestamp);
        place(r.row.path);
    }
    return copy;
}

double medianOf(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

struct Timing {
    double wallMs;
    double cpuMs;
};

// Medians of `runs` runs of `query` over `rows`.
Timing timeQuery(const std::string& query, const std::vector<korvantis::ExportRow>& rows,
                 const std::vector<korvantis::ProcessLink>& links,
                 std::vector<std::uint32_t>& shown, int runs, std::size_t& matches) {
    std::vector<double> wall;
    std::vector<double> cpu;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        const double cpuStart = threadCpuMilliseconds();
        matches = runQuery(query, rows, links, shown);
        cpu.push_back(threadCpuMilliseconds() - cpuStart);
        wall.push_back(millisecondsSince(start));
    }
    return {medianOf(wall), medianOf(cpu)};
}

int main(int argc, char** argv) {
    std::string log;
    int runs = 7;
    std::vector<std::string> chosen;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--query" && i + 1 < argc) {
            chosen.emplace_back(argv[++i]);
        } else {
            log = arg;
        }
    }
    std::string made;
    if (log.empty()) {
        char pattern[] = "/tmp/bench_filter-XXXXXX";
        const int fd = ::mkstemp(pattern);
        if (fd < 0) {
            std::perror("mkstemp");
            return 1;
        }
        ::close(fd);
        made = log = pattern;
        const std::string command = std::string(KORVANTIS_GENLOG) + " 1000000 --seed 1 > " + log;
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "could not run %s\n", command.c_str());
            return 1;
        }
    }

    korvantis::TaskQueue tasks;
    korvantis::Workspace workspace(tasks.poster());
    const korvantis::EventStore& keeper = workspace.store;
    const auto loadStart = Clock::now();
    korvantis::bench::loadLog(workspace, tasks, log);
    const double loadMs = millisecondsSince(loadStart);
    if (!made.empty()) {
        std::remove(made.c_str());
    }

    const auto collectStart = Clock::now();
    std::vector<korvantis::ExportRow> rows;
    rows.reserve(keeper.rows(RowKind::process).size() + keeper.rows(RowKind::file).size());
    // The raw lines are read from the log once, up front, so that json:
    // queries measure the search rather than the reading.
    std::deque<std::string> rawLines;
    korvantis::StoreRowCursor cursor(keeper);
    for (korvantis::ExportRow row; cursor.next(row);) {
        row.rawLine = rawLines.emplace_back(cursor.rawLine().value_or(std::string_view()));
        rows.push_back(row);
    }
    const std::vector<korvantis::ProcessLink> links =
        korvantis::StoreRowCursor::processLinks(keeper);
    std::printf(
        "log: %s\nload: %.0f ms; %zu process rows, %zu file rows; rows in line order: "
        "%.0f ms\n",
        made.empty() ? log.c_str() : "korvantis-genlog 1000000 --seed 1", loadMs,
        keeper.rows(RowKind::process).size(), keeper.rows(RowKind::file).size(),
        millisecondsSince(collectStart));

    // A pid from the middle of the process rows, and one near the top of the
    // tree, so tree:N covers a small and a large part of the store.
    const std::int64_t somePid = links.empty() ? 1 : links[links.size() / 2].pid;
    const std::int64_t earlyPid = links.size() < 3 ? 1 : links[2].pid;
    std::vector<std::string> queries = {
        "path:Library",
        "path:\xC3\x9Cn\xC3\xAF"
        "code",
        "type:exec",
        "type:open",
        "pid:" + std::to_string(somePid),
        "safari",
        "12345",
        "-type:close -path:/tmp",
        "tree:" + std::to_string(somePid),
        "tree:" + std::to_string(earlyPid),
        "tree:1",
        "json:com.example.",
        "json:\"size\":1234",
    };
    if (!chosen.empty()) {
        queries = chosen;
    }
    std::vector<std::uint32_t> shown;
    shown.reserve(rows.size());
    std::string arena;
    const std::vector<korvantis::ExportRow> compact = compactCopy(rows, arena);
    std::printf("median ms of %d runs, wall (CPU of the thread)\n", runs);
    std::printf("%-28s %10s %20s %20s\n", "query", "matches", "store layout", "compact layout");
    for (const std::string& query : queries) {
        std::size_t matches = 0;
        std::size_t compactMatches = 0;
        const Timing store = timeQuery(query, rows, links, shown, runs, matches);
        const Timing packed = timeQuery(query, compact, links, shown, runs, compactMatches);
        std::printf("%-28s %10zu %10.1f (%6.1f) %10.1f (%6.1f)%s\n", query.c_str(), matches,
                    store.wallMs, store.cpuMs, packed.wallMs, packed.cpuMs,
                    matches == compactMatches ? "" : "  (counts differ!)");
    }

    // The tree closure alone, as a view caching it per root would pay once.
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        const korvantis::PidSet members = korvantis::descendantPids(1, links);
        times.push_back(millisecondsSince(start));
        if (members.size() == 0) {
            return 1;
        }
    }
    std::printf("%-28s %10s %10.1f\n", "(descendantPids(1) alone)", "", medianOf(times));
    return 0;
}

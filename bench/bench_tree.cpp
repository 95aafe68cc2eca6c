// Benchmark of the process tree build (with its JSON encoding) and of
// selecting an event (id lookup plus readable JSON). Prints its figures.
//
//   bench_tree                 generated logs: 1,000,000 lines, and a chain
//                              of 1,000,000 processes
//   bench_tree LOG [CHAINLOG]  the same measures on log files

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "tree/process_tree.h"

using korvantis::RowKind;

namespace {

using korvantis::Workspace;
using korvantis::bench::Clock;

void addLine(std::string& out, const std::string& line) {
    out += line;
    out += '\n';
}

std::string procLine(const char* event, long pid, long ppid, const std::string& path,
                     unsigned long usec) {
    return std::string(R"({"event":")") + event + R"(","timestamp":"1765000000.)" +
           std::to_string(usec % 1000000) + R"(","process":{"pid":)" + std::to_string(pid) +
           R"(,"ppid":)" + std::to_string(ppid) + R"(,"path":")" + path +
           R"(","uid":501,"signing_id":"com.example.x","arguments":[")" + path + R"(","-v"]}})";
}

// A log shaped like a capture: live processes fork children that exec; most
// lines are file events of live processes. Process ids wrap around, as the
// system's do, so ids get reused.
void generateLog(std::string& out, int lines) {
    static const char* kBinaries[] = {"/bin/zsh",         "/usr/bin/git",
                                      "/usr/bin/ssh",     "/usr/libexec/xpcproxy",
                                      "/usr/bin/python3", "/Users/\xc3\xa9milie/App Support/helper",
                                      "/bin/ls",          "/usr/bin/clang"};
    static const char* kFileEvents[] = {"ES_EVENT_TYPE_NOTIFY_OPEN", "ES_EVENT_TYPE_NOTIFY_CLOSE",
                                        "ES_EVENT_TYPE_NOTIFY_WRITE",
                                        "ES_EVENT_TYPE_NOTIFY_CREATE"};
    struct Live {
        long pid, ppid;
        std::string path;
    };
    std::mt19937_64 rng(1);
    std::vector<Live> live{{1, 0, "/sbin/launchd"}};
    long nextPid = 100;
    for (int i = 0; i < lines; ++i) {
        const double r = std::uniform_real_distribution<>(0, 1)(rng);
        if (r < 0.08 && i + 1 < lines) {
            const Live parent = live[rng() % live.size()];
            const long child = nextPid;
            nextPid = nextPid + 1 + static_cast<long>(rng() % 7);
            if (nextPid > 99999) {
                nextPid = 100;
            }
            const std::string path = kBinaries[rng() % std::size(kBinaries)];
            addLine(out, procLine("ES_EVENT_TYPE_NOTIFY_FORK", child, parent.pid, parent.path, i));
            addLine(out, procLine("ES_EVENT_TYPE_NOTIFY_EXEC", child, parent.pid, path, i));
            ++i;
            live.push_back({child, parent.pid, path});
            if (live.size() > 400) {
                live.erase(live.begin() + 1 + static_cast<long>(rng() % (live.size() - 1)));
            }
        } else {
            const Live& p = live[rng() % live.size()];
            addLine(out, std::string(R"({"event":")") + kFileEvents[rng() % 4] +
                             R"(","timestamp":"1765000000.1","process":{"pid":)" +
                             std::to_string(p.pid) + R"(,"ppid":)" + std::to_string(p.ppid) +
                             R"(,"path":")" + p.path + R"("},"file":{"pid":)" +
                             std::to_string(p.pid) + R"(,"destination":"/tmp/file)" +
                             std::to_string(rng() % 5000) + R"(.txt","size":123}})");
        }
    }
}

void generateChain(std::string& out, int length) {
    long ppid = 1;
    for (int i = 0; i < length; ++i) {
        const long pid = 5000000 + i;
        addLine(out, procLine("ES_EVENT_TYPE_NOTIFY_EXEC", pid, ppid,
                              "/usr/bin/chain" + std::to_string(i % 10), i));
        ppid = pid;
    }
}

// The build alone, over the store's process rows, as a load's end runs it.
void benchBuild(const char* label, const Workspace& ws, int runs) {
    korvantis::ProcessTree tree;
    for (const auto& e : ws.store.rows(RowKind::process)) {
        tree.add(0, e.path, e.pid, e.ppid);
    }
    std::vector<double> times;
    std::size_t size = 0;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        const auto built = tree.build();
        size = built ? built->json->size() : 0;
        times.push_back(korvantis::bench::millisecondsSince(start));
    }
    std::sort(times.begin(), times.end());
    std::printf("%s: %zu nodes, tree JSON %.1f MB; build + encode: min %.1f ms, median %.1f ms\n",
                label, tree.nodes().size(), size / 1e6, times.front(), times[times.size() / 2]);
}

void benchSelect(Workspace& ws) {
    const korvantis::EventStore& store = ws.store;
    std::vector<korvantis::LinePlace> ids;
    std::mt19937_64 rng(2);
    for (int i = 0; i < 2000; ++i) {
        if (i % 2 == 0 && !store.rows(RowKind::process).empty()) {
            ids.push_back(
                store.rows(RowKind::process).placeOf(rng() % store.rows(RowKind::process).size()));
        } else if (!store.rows(RowKind::file).empty()) {
            ids.push_back(
                store.rows(RowKind::file).placeOf(rng() % store.rows(RowKind::file).size()));
        }
    }
    if (ids.empty()) {
        return;
    }
    auto start = Clock::now();
    ws.selection.selectEvent(ids[0]);  // the first after a load: nothing is built lazily
    std::printf("select: first selection among %zu entries: %.3f ms\n",
                store.rows(RowKind::process).size() + store.rows(RowKind::file).size(),
                korvantis::bench::millisecondsSince(start));
    std::vector<double> times;
    for (const auto& id : ids) {
        start = Clock::now();
        ws.selection.selectEvent(id);
        times.push_back(korvantis::bench::millisecondsSince(start) * 1000.0);
    }
    std::sort(times.begin(), times.end());
    std::printf(
        "select (read again, checked, readable form): %zu selections: median %.1f us, p99 %.1f us, "
        "max %.1f us\n",
        times.size(), times[times.size() / 2], times[times.size() * 99 / 100], times.back());
}

}  // namespace

// Loads `path` (or, without one, a log made by `generate`) through the
// viewer's loader.
template <typename Generate>
void load(Workspace& ws, korvantis::TaskQueue& tasks, const char* path, Generate generate) {
    std::string file = path != nullptr ? path : "";
    if (path == nullptr) {
        std::string text;
        generate(text);
        file = "/tmp/korvantis-bench-tree.json";
        std::FILE* f = std::fopen(file.c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    const auto start = Clock::now();
    korvantis::bench::loadLog(ws, tasks, file);
    std::printf("%s: %zu process events, %zu file events, loaded in %.0f ms\n", file.c_str(),
                ws.store.rows(RowKind::process).size(), ws.store.rows(RowKind::file).size(),
                korvantis::bench::millisecondsSince(start));
    if (path == nullptr) {
        std::remove(file.c_str());  // still read through the loader's open descriptor
    }
}

int main(int argc, char** argv) {
    {
        korvantis::TaskQueue tasks;
        Workspace ws(tasks.poster());
        load(ws, tasks, argc > 1 ? argv[1] : nullptr,
             [](std::string& out) { generateLog(out, 1000000); });
        benchBuild("log tree", ws, 5);
        benchSelect(ws);
    }
    {
        korvantis::TaskQueue tasks;
        Workspace ws(tasks.poster());
        load(ws, tasks, argc > 2 ? argv[2] : nullptr,
             [](std::string& out) { generateChain(out, 1000000); });
        benchBuild("chain tree", ws, 3);
    }
    return 0;
}

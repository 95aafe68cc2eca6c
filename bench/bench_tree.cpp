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

#include "store/event_keeper.h"

namespace {

using korvantis::EventKeeper;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
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
void generateLog(EventKeeper& store, int lines) {
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
            store.ingestJsonLine(
                procLine("ES_EVENT_TYPE_NOTIFY_FORK", child, parent.pid, parent.path, i));
            store.ingestJsonLine(procLine("ES_EVENT_TYPE_NOTIFY_EXEC", child, parent.pid, path, i));
            ++i;
            live.push_back({child, parent.pid, path});
            if (live.size() > 400) {
                live.erase(live.begin() + 1 + static_cast<long>(rng() % (live.size() - 1)));
            }
        } else {
            const Live& p = live[rng() % live.size()];
            store.ingestJsonLine(std::string(R"({"event":")") + kFileEvents[rng() % 4] +
                                 R"(","timestamp":"1765000000.1","process":{"pid":)" +
                                 std::to_string(p.pid) + R"(,"ppid":)" + std::to_string(p.ppid) +
                                 R"(,"path":")" + p.path + R"("},"file":{"pid":)" +
                                 std::to_string(p.pid) + R"(,"destination":"/tmp/file)" +
                                 std::to_string(rng() % 5000) + R"(.txt","size":123}})");
        }
    }
}

void generateChain(EventKeeper& store, int length) {
    long ppid = 1;
    for (int i = 0; i < length; ++i) {
        const long pid = 5000000 + i;
        store.ingestJsonLine(procLine("ES_EVENT_TYPE_NOTIFY_EXEC", pid, ppid,
                                      "/usr/bin/chain" + std::to_string(i % 10), i));
        ppid = pid;
    }
}

void benchBuild(const char* label, EventKeeper& store, int runs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        store.buildProcessTree();
        times.push_back(msSince(start));
    }
    std::sort(times.begin(), times.end());
    std::printf("%s: %zu nodes, tree JSON %.1f MB; build + encode: min %.1f ms, median %.1f ms\n",
                label, store.nodes().size(), store.jsonTreeRaw().size() / 1e6, times.front(),
                times[times.size() / 2]);
}

void benchSelect(EventKeeper& store) {
    std::vector<korvantis::Uuid> ids;
    std::mt19937_64 rng(2);
    for (int i = 0; i < 2000; ++i) {
        if (i % 2 == 0 && !store.procPreviews().empty()) {
            ids.push_back(store.procPreviews()[rng() % store.procPreviews().size()].id);
        } else if (!store.filePreviews().empty()) {
            ids.push_back(store.filePreviews()[rng() % store.filePreviews().size()].id);
        }
    }
    if (ids.empty()) {
        return;
    }
    auto start = Clock::now();
    store.selectEvent(ids[0]);  // the first after a load: nothing is built lazily
    std::printf("select: first selection among %zu entries: %.3f ms\n",
                store.procPreviews().size() + store.filePreviews().size(), msSince(start));
    std::vector<double> times;
    for (const auto& id : ids) {
        start = Clock::now();
        store.selectEvent(id);
        times.push_back(msSince(start) * 1000.0);
    }
    std::sort(times.begin(), times.end());
    std::printf("select: %zu selections: median %.1f us, p99 %.1f us, max %.1f us\n", times.size(),
                times[times.size() / 2], times[times.size() * 99 / 100], times.back());
}

}  // namespace

int main(int argc, char** argv) {
    {
        EventKeeper store;
        auto start = Clock::now();
        if (argc > 1) {
            store.loadJsonFile(argv[1]);
        } else {
            generateLog(store, 1000000);
        }
        std::printf("log: %zu process events, %zu file events, loaded in %.0f ms\n",
                    store.procPreviews().size(), store.filePreviews().size(), msSince(start));
        benchBuild("log tree", store, 5);
        benchSelect(store);
    }
    {
        EventKeeper store;
        auto start = Clock::now();
        if (argc > 2) {
            store.loadJsonFile(argv[2]);
        } else {
            generateChain(store, 1000000);
        }
        std::printf("chain: loaded in %.0f ms\n", msSince(start));
        benchBuild("chain tree", store, 3);
    }
    return 0;
}

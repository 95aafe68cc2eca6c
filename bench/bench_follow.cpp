// Following a large log: how long a line appended to a followed log of a
// million lines takes to be in the store (median of 50 appends), and the CPU
// a followed log costs while nothing is appended.
// Usage: bench_follow [LOG]   (default: 1,000,000 generated lines)

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "load/task_queue.h"
#include "workspace/workspace.h"

namespace {

using Clock = std::chrono::steady_clock;

double cpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::string makeLog() {
    char pattern[] = "/tmp/bench_follow-XXXXXX";
    const int fd = ::mkstemp(pattern);
    if (fd < 0) {
        return {};
    }
    ::close(fd);
    const std::string command = std::string(KORVANTIS_GENLOG) + " 1000000 --seed 1 > " + pattern;
    if (std::system(command.c_str()) != 0) {
        std::remove(pattern);
        return {};
    }
    return pattern;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string given = argc > 1 ? argv[1] : "";
    const std::string log = given.empty() ? makeLog() : given;
    if (log.empty()) {
        std::fprintf(stderr, "could not make a log\n");
        return 1;
    }
    // The appends go to a copy, so a given log is left as it was.
    const std::string copy = log + ".follow";
    std::system(("cp '" + log + "' '" + copy + "'").c_str());

    korvantis::TaskQueue tasks;
    korvantis::Workspace workspace(tasks.poster());
    workspace.loader.setFollowing(true);
    workspace.loader.loadJsonFile(copy);
    tasks.runUntil([&] { return !workspace.loader.outcomes().empty(); });
    const auto& store = workspace.store;
    std::printf("followed log: %zu stored lines\n", store.lineRefs().size());

    const std::string line =
        R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"1765000000.5","process":{"pid":77,"ppid":1,"path":"/bin/appended"}})"
        "\n";
    std::vector<double> ms;
    for (int i = 0; i < 50; ++i) {
        const std::size_t before = store.lineRefs().size();
        const auto start = Clock::now();
        std::ofstream(copy, std::ios::app) << line;
        tasks.runUntil([&] { return store.lineRefs().size() > before; });
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        // Apart enough that each append is seen on its own.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        tasks.runUntil([&] { return workspace.loader.idle(); });
    }
    std::sort(ms.begin(), ms.end());
    std::printf("append to store: median %.1f ms, max %.1f ms (50 appends)\n", ms[ms.size() / 2],
                ms.back());

    // Idle: let a pending tree build end, then measure a few quiet seconds.
    const auto settled = Clock::now() + std::chrono::seconds(2);
    tasks.runUntil([&] { return Clock::now() >= settled; });
    const double cpuBefore = cpuSeconds();
    const auto idleStart = Clock::now();
    tasks.runUntil([&] { return Clock::now() >= idleStart + std::chrono::seconds(5); });
    const double idleSeconds = std::chrono::duration<double>(Clock::now() - idleStart).count();
    std::printf("idle followed log: %.3f%% of one core over %.1f s\n",
                100 * (cpuSeconds() - cpuBefore) / idleSeconds, idleSeconds);
    std::remove(copy.c_str());
    if (given.empty()) {
        std::remove(log.c_str());
    }
    return 0;
}

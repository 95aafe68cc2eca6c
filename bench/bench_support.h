#pragma once

// What the core benchmarks share: loading a log through the viewer's loader
// and the clocks their figures are read from.

#include <time.h>

#include <chrono>
#include <string>

#include "load/task_queue.h"
#include "workspace/workspace.h"

namespace korvantis::bench {

using Clock = std::chrono::steady_clock;

inline double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// CPU time of this thread: on a busy machine, what a step cost on one core,
// without the time spent waiting for a core.
inline double threadCpuMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// CPU time of all this program's threads: on a busy machine, what a step
// cost, without the time spent waiting for a core.
inline double processCpuMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Loads `path` into `ws` as an import does and waits for the load's end.
inline void loadLog(Workspace& ws, TaskQueue& tasks, const std::string& path) {
    const std::size_t before = ws.loader.outcomes().size();
    ws.loader.loadJsonFile(path);
    tasks.runUntil([&] { return ws.loader.outcomes().size() > before; });
}

}  // namespace korvantis::bench

#pragma once
// A store with its loader, with the test's thread as the store's thread:
// loads run on the loader's workers and their rows are filed when the test
// runs the handed-over tasks.

#include <cstddef>
#include <string>
#include <vector>

#include "load/task_queue.h"
#include "workspace/workspace.h"

namespace korvantis::testsupport {

struct LoadingWorkspace {
    TaskQueue tasks;
    Workspace ws{tasks.poster()};

    // Asks for each load, then files until all of them have ended.
    void load(const std::vector<std::string>& paths) {
        const std::size_t want = ws.loader.outcomes().size() + paths.size();
        for (const std::string& path : paths) {
            ws.loader.loadJsonFile(path);
        }
        tasks.runUntil([&] { return ws.loader.outcomes().size() >= want; });
    }
    void load(const std::string& path) { load(std::vector<std::string>{path}); }
};

}  // namespace korvantis::testsupport

// korvantis-inspect: loads event logs into one store, through the same loader
// as the viewer's import, and prints a summary or the store's contents.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "ingest/json_text.h"
#include "store/pretty_json.h"
#include "store/task_queue.h"
#include "store/workspace.h"

namespace {

using korvantis::EventStore;

constexpr std::string_view kUsage =
    "usage: korvantis-inspect [--dump | --tree] LOG...\n"
    "       korvantis-inspect --pretty < JSON";

struct Options {
    bool dump = false;
    bool tree = false;    // the tree JSON alone
    bool pretty = false;  // stdin's JSON text in readable form; no logs
    std::vector<std::string> logs;
};

// One entry per option. To add an option, add a field to Options and a row
// here; what it prints goes in main() after the loads.
struct Flag {
    std::string_view name;
    bool Options::*field;
};
constexpr Flag kFlags[] = {
    {"--dump", &Options::dump},
    {"--tree", &Options::tree},
    {"--pretty", &Options::pretty},
};

// Nothing on bad usage.
bool parseArguments(int argc, char** argv, Options& options) {
    bool onlyLogs = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!onlyLogs && arg == "--") {
            onlyLogs = true;
            continue;
        }
        if (!onlyLogs && arg.size() > 1 && arg[0] == '-') {
            bool known = false;
            for (const Flag& flag : kFlags) {
                if (arg == flag.name) {
                    options.*flag.field = true;
                    known = true;
                }
            }
            if (!known) {
                std::cerr << "korvantis-inspect: unknown option " << arg << "\n";
                return false;
            }
            continue;
        }
        options.logs.emplace_back(arg);
    }
    return options.pretty ? options.logs.empty() : !options.logs.empty();
}

void appendKey(std::string& out, std::string_view key) {
    korvantis::appendJsonString(out, key, false);
    out.push_back(':');
}

void appendString(std::string& out, std::string_view key, std::string_view value) {
    appendKey(out, key);
    korvantis::appendJsonString(out, value, false);
}

void appendInt(std::string& out, std::string_view key, long long value) {
    appendKey(out, key);
    out += std::to_string(value);
}

// One preview list as a JSON array; ids are left out.
template <typename Entry>
void appendPreviews(std::string& out, std::string_view key,
                    const korvantis::PreviewRows<Entry>& entries) {
    appendKey(out, key);
    out.push_back('[');
    bool first = true;
    for (const Entry& e : entries) {
        out += first ? "{" : ",{";
        first = false;
        appendString(out, "type", e.type);
        out.push_back(',');
        appendString(out, "timestamp", e.timestamp);
        out.push_back(',');
        appendInt(out, "pid", e.pid);
        out.push_back(',');
        if constexpr (requires { e.ppid; }) {
            appendInt(out, "ppid", e.ppid);
            out.push_back(',');
        }
        appendString(out, "path", e.path);
        out.push_back('}');
    }
    out += "],";
}

// The store's contents as one JSON object; ids are left out.
std::string dumpStore(const EventStore& store) {
    std::string out = "{";
    appendPreviews(out, "procPreviews", store.procPreviews());
    appendPreviews(out, "filePreviews", store.filePreviews());
    appendKey(out, "loadErrors");
    out.push_back('[');
    bool first = true;
    for (const auto& error : store.loadErrors()) {
        if (!first) {
            out.push_back(',');
        }
        first = false;
        korvantis::appendJsonString(out, error, false);
    }
    out += "],";
    appendInt(out, "jsonMappingCount", static_cast<long long>(store.jsonMapping().size()));
    out.push_back(',');
    appendString(out, "jsonTreeRaw", store.jsonTreeRaw());
    out += "}\n";
    return out;
}

long peakRssKiB() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;  // KiB on Linux
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseArguments(argc, argv, options)) {
        std::cerr << kUsage << "\n";
        return 2;
    }

    if (options.pretty) {
        // One text, as a line of a log holds it: without its line feed.
        std::string text{std::istreambuf_iterator<char>(std::cin), {}};
        if (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        const std::string out = korvantis::prettyPrintedJson(text) + "\n";
        std::fwrite(out.data(), 1, out.size(), stdout);
        return 0;
    }

    // The viewer's loader, with this thread as the store's thread: loads run
    // one after the other on workers, and their rows are filed here.
    korvantis::TaskQueue tasks;
    korvantis::Workspace workspace(tasks.poster());
    const EventStore& store = workspace.store;
    const auto started = std::chrono::steady_clock::now();
    for (const std::string& log : options.logs) {
        workspace.loader.loadJsonFile(log);
    }
    const std::size_t wanted = options.logs.size();
    tasks.runUntil([&] { return workspace.loader.outcomes().size() == wanted; });
    int status = 0;
    std::uint64_t lines = 0;
    for (const korvantis::LoadOutcome& outcome : workspace.loader.outcomes()) {
        if (!outcome.opened) {
            std::cerr << "korvantis-inspect: cannot open " << outcome.path << "\n";
            status = 1;
        }
        lines += outcome.figures.lines;
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;

    if (options.tree) {
        const std::string text = store.jsonTreeRaw() + "\n";
        std::fwrite(text.data(), 1, text.size(), stdout);
    } else if (options.dump) {
        const std::string text = dumpStore(store);
        std::fwrite(text.data(), 1, text.size(), stdout);
    } else {
        std::printf("lines read: %llu\n", static_cast<unsigned long long>(lines));
        std::printf("process events: %zu\n", store.procPreviews().size());
        std::printf("file events: %zu\n", store.filePreviews().size());
        std::printf("load errors: %zu\n", store.loadErrors().size());
        std::printf("elapsed seconds: %.3f\n", elapsed.count());
        std::printf("peak RSS MiB: %.1f\n", static_cast<double>(peakRssKiB()) / 1024.0);
    }
    return status;
}

// korvantis-inspect: loads event logs into one store, through the same loader
// as the viewer's import, and prints a summary, the store's contents or the
// rows a filter shows.

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ingest/json_text.h"
#include "inspect/store_rows.h"
#include "query/filter_query.h"
#include "store/pretty_json.h"
#include "query/row_export.h"
#include "query/row_sort.h"
#include "load/task_queue.h"
#include "workspace/workspace.h"

namespace {

using korvantis::EventStore;

constexpr std::string_view kUsage =
    "usage: korvantis-inspect [--dump | --tree] LOG...\n"
    "       korvantis-inspect [--filter QUERY] [--export jsonl|csv] [--sort [-]FIELD] LOG...\n"
    "       korvantis-inspect --pretty < JSON";

struct Options {
    bool dump = false;
    bool tree = false;                  // the tree JSON alone
    bool pretty = false;                // stdin's JSON text in readable form; no logs
    std::optional<std::string> filter;  // the matching rows of both lists
    std::optional<std::string> format;  // how --filter writes them
    std::optional<std::string> sort;    // the order --filter writes them in
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
// Options followed by a value.
struct ValueFlag {
    std::string_view name;
    std::optional<std::string> Options::*field;
};
constexpr ValueFlag kValueFlags[] = {
    {"--filter", &Options::filter},
    {"--export", &Options::format},
    {"--sort", &Options::sort},
};

std::optional<korvantis::ExportFormat> exportFormatNamed(std::string_view name) {
    if (name == "jsonl") {
        return korvantis::ExportFormat::jsonLines;
    }
    if (name == "csv") {
        return korvantis::ExportFormat::csv;
    }
    return std::nullopt;
}

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
            for (const ValueFlag& flag : kValueFlags) {
                if (arg == flag.name) {
                    if (i + 1 == argc) {
                        std::cerr << "korvantis-inspect: " << arg << " needs a value\n";
                        return false;
                    }
                    options.*flag.field = argv[++i];
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
    if (options.format && !exportFormatNamed(*options.format)) {
        std::cerr << "korvantis-inspect: --export takes jsonl or csv, not " << *options.format
                  << "\n";
        return false;
    }
    const bool rows = options.filter || options.format || options.sort;
    if (rows && (options.dump || options.tree || options.pretty)) {
        std::cerr << "korvantis-inspect: --filter goes with no other output option\n";
        return false;
    }
    return options.pretty ? options.logs.empty() : !options.logs.empty();
}

// Writes the rows `query` shows to standard output; false when that fails.
bool writeMatchingRows(const EventStore& store, korvantis::FilterQuery& query,
                       korvantis::ExportFormat format) {
    if (!query.treeRoots().empty()) {
        query.bindTrees(korvantis::StoreRowCursor::processLinks(store));
    }
    korvantis::StoreRowCursor cursor(store);
    bool changed = false;
    const korvantis::ExportResult result = korvantis::writeRows(
        STDOUT_FILENO, "standard output", format, [&](korvantis::ExportRow& row) {
            while (cursor.next(row)) {
                auto raw = [&]() -> std::string_view {
                    const auto& line = cursor.rawLine();
                    return line ? std::string_view(*line) : korvantis::kLogChangedText;
                };
                if (!query.matches(row.row, raw)) {
                    continue;
                }
                if (korvantis::exportNeedsRawLine(format)) {
                    if (!cursor.rawLine()) {
                        changed = true;
                        return false;
                    }
                    row.rawLine = *cursor.rawLine();
                }
                return true;
            }
            return false;
        });
    if (!result.ok()) {
        std::cerr << "korvantis-inspect: " << result.error << "\n";
    }
    if (changed) {
        std::cerr << "korvantis-inspect: " << korvantis::kLogChangedText << "\n";
    }
    return result.ok() && !changed;
}

// Writes the rows `query` shows in the order `sort` gives: gathered first,
// then written with their raw lines read one by one in that order.
bool writeSortedRows(const EventStore& store, const korvantis::FilterQuery& query,
                     korvantis::ExportFormat format, const korvantis::RowSort& sort) {
    korvantis::StoreRowCursor cursor(store);
    std::vector<korvantis::FilterRow> rows;
    std::vector<std::size_t> entries;
    korvantis::ExportRow row;
    while (cursor.next(row)) {
        auto raw = [&]() -> std::string_view {
            const auto& line = cursor.rawLine();
            return line ? std::string_view(*line) : korvantis::kLogChangedText;
        };
        if (query.matches(row.row, raw)) {
            rows.push_back(row.row);
            entries.push_back(cursor.entry());
        }
    }
    const std::vector<korvantis::SortKey> keys =
        korvantis::sortKeys(*sort.field, rows.size(),
                            [&](std::size_t i) -> const korvantis::FilterRow& { return rows[i]; });
    const std::vector<std::uint32_t> order =
        korvantis::sortedOrder(keys, sort.field->kind, sort.descending);
    std::size_t next = 0;
    std::string rawLine;
    const korvantis::ExportResult result = korvantis::writeRows(
        STDOUT_FILENO, "standard output", format, [&](korvantis::ExportRow& out) {
            if (next == order.size()) {
                return false;
            }
            const std::uint32_t i = order[next++];
            out = {rows[i], {}, {}};
            if (korvantis::exportNeedsRawLine(format)) {
                auto line = store.logFiles().read(store.jsonMapping().ref(entries[i]));
                if (!line) {
                    out.failure = std::string(korvantis::kLogChangedText);
                    return false;
                }
                rawLine = std::move(*line);
                out.rawLine = rawLine;
            }
            return true;
        });
    if (!result.ok()) {
        std::cerr << "korvantis-inspect: " << result.error << "\n";
    }
    return result.ok();
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

    // A query and a sort are checked before anything is loaded.
    std::optional<korvantis::RowSort> sort;
    if (options.sort) {
        sort = korvantis::parseRowSort(*options.sort);
        if (!sort) {
            std::cerr << "korvantis-inspect: --sort: no field named \""
                      << (options.sort->starts_with('-') ? options.sort->substr(1) : *options.sort)
                      << "\"\n";
            return 2;
        }
    }
    std::optional<korvantis::FilterQuery> query;
    if (options.filter || options.format || options.sort) {
        korvantis::ParsedFilterQuery parsed =
            korvantis::parseFilterQuery(options.filter.value_or(""));
        if (!parsed.query) {
            std::cerr << "korvantis-inspect: invalid filter: " << parsed.error << "\n";
            return 2;
        }
        query = std::move(parsed.query);
    }

    // The viewer's loader, with this thread as the store's thread: loads run
    // one after the other on workers, and their rows are filed here.
    korvantis::TaskQueue tasks;
    korvantis::Workspace workspace(tasks.poster());
    workspace.loader.setTreeFactsWanted(false);  // no tree window here
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

    if (query) {
        const auto format = exportFormatNamed(options.format.value_or("jsonl"));
        if (sort && !query->treeRoots().empty()) {
            query->bindTrees(korvantis::StoreRowCursor::processLinks(store));
        }
        if (!(sort ? writeSortedRows(store, *query, *format, *sort)
                   : writeMatchingRows(store, *query, *format))) {
            status = 1;
        }
    } else if (options.tree) {
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

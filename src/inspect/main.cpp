// korvantis-inspect: loads event logs into one store, through the same loader
// as the viewer's import, and prints a summary, the store's contents or the
// rows a filter shows.

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
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
#include "korvantis_version.h"
#include "load/task_queue.h"
#include "query/filter_query.h"
#include "query/row_export.h"
#include "store/event_detail.h"
#include "store/pretty_json.h"
#include "workspace/workspace.h"

namespace {

using korvantis::EventStore;

constexpr std::string_view kUsage =
    "usage: korvantis-inspect [--dump | --tree | --gaps] LOG...\n"
    "       korvantis-inspect --filter QUERY [--export jsonl|csv [--fields LIST]] LOG...\n"
    "       korvantis-inspect --pretty < JSON\n"
    "       korvantis-inspect --help | --version\n";

struct Options {
    bool help = false;
    bool version = false;
    bool dump = false;
    bool tree = false;                  // the tree JSON alone
    bool gaps = false;                  // where eslogger's message numbers jump
    bool pretty = false;                // stdin's JSON text in readable form; no logs
    std::optional<std::string> filter;  // the matching rows of both lists
    std::optional<std::string> format;  // how --filter writes them
    std::optional<std::string> fields;  // a CSV record's fields, comma-separated
    korvantis::CsvFields csvFields = korvantis::defaultCsvFields();
    std::vector<std::string> logs;
};

// One entry per option. To add an option, add a field to Options and a row
// here (its line in --help comes from the row); what it prints goes in main()
// after the loads.
struct Flag {
    std::string_view name;
    bool Options::*field;
    std::string_view help;
};
constexpr Flag kFlags[] = {
    {"--help", &Options::help, "print this help and exit"},
    {"--version", &Options::version, "print the name and version and exit"},
    {"--dump", &Options::dump, "print what the store holds, as one JSON object"},
    {"--tree", &Options::tree, "print the process tree JSON"},
    {"--gaps", &Options::gaps,
     "print a line LOG:LINE: N lost for each gap in eslogger's message numbers"},
    {"--pretty", &Options::pretty,
     "print standard input's JSON text in readable form, as the detail area shows it"},
};
// Options followed by a value.
struct ValueFlag {
    std::string_view name;
    std::optional<std::string> Options::*field;
    std::string_view value;  // what the value is, for --help
    std::string_view help;
};
constexpr ValueFlag kValueFlags[] = {
    {"--filter", &Options::filter, "QUERY", "print the rows the filter QUERY shows, in load order"},
    {"--export", &Options::format, "jsonl|csv", "how --filter writes the rows (default jsonl)"},
    {"--fields", &Options::fields, "LIST",
     "with --export csv: the comma-separated fields to write, in order"},
};

// The usage, then a line per option; what --help prints.
std::string helpText() {
    std::string text(kUsage);
    text +=
        "Loads each LOG as the viewer's import does and prints a summary (lines, events,\n"
        "errors, time, peak memory), or what an option asks for.\n\n";
    auto line = [&](std::string_view name, std::string_view help) {
        std::string names(name);
        names.resize(std::max<std::size_t>(names.size() + 2, 20), ' ');
        text += "  " + names + std::string(help) + "\n";
    };
    for (const Flag& flag : kFlags) {
        line(flag.name, flag.help);
    }
    for (const ValueFlag& flag : kValueFlags) {
        line(std::string(flag.name) + " " + std::string(flag.value), flag.help);
    }
    line("--", "no more options: every later argument is a LOG");
    text +=
        "\nExit status: 0 on success, 1 when a LOG cannot be opened or the output fails,\n"
        "2 on bad usage or an invalid query.\n";
    return text;
}

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
    if (options.help || options.version) {
        return true;
    }
    if (options.fields) {
        if (options.format != "csv") {
            std::cerr << "korvantis-inspect: --fields goes with --export csv only\n";
            return false;
        }
        auto fields = korvantis::parseCsvFields(*options.fields);
        if (!fields) {
            std::cerr << "korvantis-inspect: --fields names an unknown or empty field in \""
                      << *options.fields << "\"\n";
            return false;
        }
        options.csvFields = std::move(*fields);
    }
    const bool rows = options.filter || options.format;
    if (rows && (options.dump || options.tree || options.pretty)) {
        std::cerr << "korvantis-inspect: --filter goes with no other output option\n";
        return false;
    }
    return options.pretty ? options.logs.empty() : !options.logs.empty();
}

// Writes the rows `query` shows to standard output; false when that fails.
bool writeMatchingRows(const EventStore& store, korvantis::FilterQuery& query,
                       korvantis::ExportFormat format, const korvantis::CsvFields& fields) {
    if (!query.treeRoots().empty()) {
        query.bindTrees(korvantis::StoreRowCursor::processLinks(store));
    }
    korvantis::StoreRowCursor cursor(store);
    bool changed = false;
    const korvantis::ExportResult result = korvantis::writeRows(
        STDOUT_FILENO, "standard output", format,
        [&](korvantis::ExportRow& row) {
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
        },
        fields);
    if (!result.ok()) {
        std::cerr << "korvantis-inspect: " << result.error << "\n";
    }
    if (changed) {
        std::cerr << "korvantis-inspect: " << korvantis::kLogChangedText << "\n";
    }
    return result.ok() && !changed;
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

// One line per gap, `LOG:LINE: N lost`, each log named as given: the k-th
// log that could be opened is the store's log k.
std::string gapLines(const EventStore& store, const std::vector<korvantis::LoadOutcome>& outcomes) {
    std::vector<std::string> names;
    for (const korvantis::LoadOutcome& outcome : outcomes) {
        if (outcome.opened) {
            names.push_back(outcome.path);
        }
    }
    std::string out;
    for (const korvantis::SequenceGap& gap : store.sequenceGaps()) {
        out += gap.log < names.size() ? names[gap.log] : store.logFiles().path(gap.log);
        out += ":" + std::to_string(gap.line) + ": " + std::to_string(gap.lost) + " lost\n";
    }
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
        std::cerr << kUsage;
        return 2;
    }
    if (options.help) {
        std::cout << helpText();
        return 0;
    }
    if (options.version) {
        std::cout << "korvantis-inspect " KORVANTIS_VERSION "\n";
        return 0;
    }

    if (options.pretty) {
        // One text, as a line of a log holds it: without its line feed.
        std::string text{std::istreambuf_iterator<char>(std::cin), {}};
        if (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        const korvantis::ReadableJson readable = korvantis::readableJson(text);
        // The notice the detail area shows above it; standard output stays JSON.
        if (const std::string notice = korvantis::repeatedKeysNotice(readable); !notice.empty()) {
            std::cerr << notice << "\n";
        }
        const std::string out = readable.text + "\n";
        std::fwrite(out.data(), 1, out.size(), stdout);
        return 0;
    }

    // A query is checked before anything is loaded.
    std::optional<korvantis::FilterQuery> query;
    if (options.filter || options.format) {
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
        if (!writeMatchingRows(store, *query, *format, options.csvFields)) {
            status = 1;
        }
    } else if (options.tree) {
        const std::string text = store.jsonTreeRaw() + "\n";
        std::fwrite(text.data(), 1, text.size(), stdout);
    } else if (options.gaps) {
        const std::string text = gapLines(store, workspace.loader.outcomes());
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

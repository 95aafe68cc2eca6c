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

#include "ingest/cache_file.h"
#include "ingest/json_text.h"
#include "inspect/checked_output.h"
#include "inspect/followed_rows.h"
#include "inspect/lifetime_lines.h"
#include "inspect/shown_rows_output.h"
#include "inspect/store_rows.h"
#include "inspect/summary_output.h"
#include "korvantis_version.h"
#include "load/task_queue.h"
#include "query/filter_query.h"
#include "query/row_export.h"
#include "query/row_sort.h"
#include "store/event_detail.h"
#include "store/pretty_json.h"
#include "workspace/workspace.h"

namespace {

using korvantis::EventStore;

constexpr std::string_view kUsage =
    "usage: korvantis-inspect [--dump | --tree | --gaps | --summary | --lifetimes] LOG...\n"
    "                         (LOG - is standard input)\n"
    "       korvantis-inspect [--follow] [--filter QUERY] [--export jsonl|csv [--fields LIST]]\n"
    "                         [--sort [-]FIELD] LOG...\n"
    "       korvantis-inspect --pretty < JSON\n"
    "       korvantis-inspect --help | --version\n";

struct Options {
    bool help = false;
    bool version = false;
    bool dump = false;
    bool tree = false;                  // the tree JSON alone
    bool gaps = false;                  // where eslogger's message numbers jump
    bool summary = false;               // who did most: types, programs, paths, seconds
    bool lifetimes = false;             // how each eslogger process row's run ends
    bool pretty = false;                // stdin's JSON text in readable form; no logs
    bool follow = false;                // the rows of lines appended too, until stopped
    std::optional<std::string> filter;  // the matching rows of both lists
    std::optional<std::string> format;  // how --filter writes them
    std::optional<std::string> fields;  // a CSV record's fields, comma-separated
    korvantis::CsvFields csvFields = korvantis::defaultCsvFields();
    std::optional<std::string> sort;  // the order --filter writes them in
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
    {"--summary", &Options::summary,
     "print the events per type, the 20 programs with most events, the 20 most touched file "
     "paths and the busiest seconds"},
    {"--lifetimes", &Options::lifetimes,
     "print a line LOG:LINE<TAB>TEXT per eslogger process row: how its run ended"},
    {"--pretty", &Options::pretty,
     "print standard input's JSON text in readable form, as the detail area shows it"},
    {"--follow", &Options::follow,
     "print the rows of lines appended later too, until SIGINT or SIGTERM (as --filter)"},
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
    {"--sort", &Options::sort, "[-]FIELD",
     "write the rows sorted by FIELD (a --fields name; -FIELD descending)"},
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
    std::vector<std::string_view> seen;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!onlyLogs && arg == "--") {
            onlyLogs = true;
            continue;
        }
        if (!onlyLogs && arg.size() > 1 && arg[0] == '-') {
            // Given twice, an option would silently count once.
            if (std::find(seen.begin(), seen.end(), arg) != seen.end()) {
                std::cerr << "korvantis-inspect: " << arg << " given twice\n";
                return false;
            }
            seen.push_back(arg);
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
    if (options.follow && options.sort) {
        std::cerr << "korvantis-inspect: --sort needs every row first; it does not go with "
                     "--follow\n";
        return false;
    }
    const bool rows = options.filter || options.format || options.sort || options.follow;
    if (rows + options.dump + options.tree + options.pretty + options.summary +
            options.lifetimes >
        1) {
        std::cerr << "korvantis-inspect: --dump, --tree, --pretty, --summary, --lifetimes and "
                     "--filter go "
                     "alone\n";
        return false;
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

// The store's contents as one JSON object; ids are left out. Written as it
// is made: the load errors alone may be larger than the memory at hand.
void dumpStore(const EventStore& store, korvantis::CheckedOutput& out) {
    std::string& text = out.buffer();
    text.push_back('{');
    appendPreviews(text, "procPreviews", store.procPreviews());
    appendPreviews(text, "filePreviews", store.filePreviews());
    appendKey(text, "loadErrors");
    text.push_back('[');
    store.loadErrors().forEachText(store.logFiles(), [&](std::size_t i, std::string_view error) {
        if (i != 0) {
            text.push_back(',');
        }
        korvantis::appendJsonString(text, error, false);
        out.flushIfFull();
    });
    text += "],";
    appendInt(text, "jsonMappingCount", static_cast<long long>(store.lineRefs().size()));
    text.push_back(',');
    appendString(text, "jsonTreeRaw", store.jsonTreeRaw());
    text += "}\n";
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

// The peak resident size of this program alone. The kernel's own figure
// (getrusage) also keeps the peak of the process this one was started
// from when it was spawned sharing that process's memory; VmHWM does not.
long peakRssKiB() {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    char line[256];
    long kib = -1;
    while (status != nullptr && kib < 0 && std::fgets(line, sizeof line, status) != nullptr) {
        std::sscanf(line, "VmHWM: %ld kB", &kib);
    }
    if (status != nullptr) {
        std::fclose(status);
    }
    if (kib < 0) {
        struct rusage usage {};
        getrusage(RUSAGE_SELF, &usage);
        kib = usage.ru_maxrss;  // KiB on Linux
    }
    return kib;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseArguments(argc, argv, options)) {
        std::cerr << kUsage;
        return 2;
    }
    korvantis::CheckedOutput out;
    // Every output ends here: a failed write is a failed run.
    auto finish = [&out](int status) {
        if (const std::string failed = out.finish(); !failed.empty()) {
            std::cerr << "korvantis-inspect: could not write standard output: " << failed << "\n";
            return 1;
        }
        return status;
    };
    if (options.help) {
        out.write(helpText());
        return finish(0);
    }
    if (options.version) {
        out.write("korvantis-inspect " KORVANTIS_VERSION "\n");
        return finish(0);
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
        out.write(readable.text + "\n");
        return finish(0);
    }
    korvantis::LogFiles::raiseOpenFileLimit();
    if (options.follow) {
        korvantis::holdStopSignals();  // before any thread starts
    }

    // Spools left by instances that crashed go now.
    korvantis::CacheFile::removeStale();

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
    if (options.filter || options.format || options.sort || options.follow) {
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
    workspace.loader.setFollowing(options.follow);
    const EventStore& store = workspace.store;
    const auto started = std::chrono::steady_clock::now();
    for (const std::string& log : options.logs) {
        workspace.loader.loadJsonFile(log);
    }
    // Followed rows are written as they come, from the first.
    const std::size_t wanted = options.follow ? 0 : options.logs.size();
    tasks.runUntil([&] { return workspace.loader.outcomes().size() >= wanted; });
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

    const auto format = exportFormatNamed(options.format.value_or("jsonl"));
    if (options.follow) {
        status |= korvantis::followRows(workspace, tasks, *query, *format, options.csvFields);
    } else if (query) {
        if (!korvantis::writeShownRows(store, *query, *format, options.csvFields, sort)) {
            status = 1;
        }
    } else if (options.tree) {
        out.write(store.jsonTreeRaw());
        out.write("\n");
    } else if (options.gaps) {
        out.write(gapLines(store, workspace.loader.outcomes()));
    } else if (options.lifetimes) {
        out.write(korvantis::lifetimeLines(store, workspace.loader.outcomes()));
    } else if (options.dump) {
        dumpStore(store, out);
    } else if (options.summary) {
        out.write(
            korvantis::summaryText(korvantis::summarizeTrace(korvantis::RowsSnapshot::of(store))));
    } else {
        char seconds[32];
        char rss[32];
        std::snprintf(seconds, sizeof seconds, "%.3f", elapsed.count());
        std::snprintf(rss, sizeof rss, "%.1f", static_cast<double>(peakRssKiB()) / 1024.0);
        out.write("lines read: " + std::to_string(lines) + "\n" +
                  "process events: " + std::to_string(store.procPreviews().size()) + "\n" +
                  "file events: " + std::to_string(store.filePreviews().size()) + "\n" +
                  "load errors: " + std::to_string(store.loadErrors().size()) + "\n" +
                  "elapsed seconds: " + seconds + "\n" + "peak RSS MiB: " + rss + "\n");
    }
    return finish(status);
}

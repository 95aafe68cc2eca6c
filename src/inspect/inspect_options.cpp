// korvantis-inspect's options: the table they are read by, --help, and the
// checks of what goes with what.

#include "inspect/inspect_options.h"

#include <algorithm>
#include <iostream>

namespace korvantis {

const std::string_view kInspectUsage =
    "usage: korvantis-inspect [--dump | --tree | --gaps | --summary | --lifetimes] LOG...\n"
    "                         (LOG - is standard input)\n"
    "       korvantis-inspect [--follow] [--filter QUERY] [--export jsonl|csv [--fields LIST]]\n"
    "                         [--sort [-]FIELD] LOG...\n"
    "       korvantis-inspect --pretty < JSON\n"
    "       korvantis-inspect --help | --version\n";

namespace {

// One entry per option. To add an option, add a field to InspectOptions and a row
// here (its line in --help comes from the row); what it prints goes in main()
// after the loads.
struct Flag {
    std::string_view name;
    bool InspectOptions::*field;
    std::string_view help;
};
constexpr Flag kFlags[] = {
    {"--help", &InspectOptions::help, "print this help and exit"},
    {"--version", &InspectOptions::version, "print the name and version and exit"},
    {"--dump", &InspectOptions::dump, "print what the store holds, as one JSON object"},
    {"--tree", &InspectOptions::tree, "print the process tree JSON"},
    {"--gaps", &InspectOptions::gaps,
     "print a line LOG:LINE: N lost for each gap in eslogger's message numbers"},
    {"--summary", &InspectOptions::summary,
     "print the events per type, the 20 programs with most events, the 20 most touched file "
     "paths and the busiest seconds"},
    {"--lifetimes", &InspectOptions::lifetimes,
     "print a line LOG:LINE<TAB>TEXT per eslogger process row: how its run ended"},
    {"--pretty", &InspectOptions::pretty,
     "print standard input's JSON text in readable form, as the detail area shows it"},
    {"--follow", &InspectOptions::follow,
     "print the rows of lines appended later too, until SIGINT or SIGTERM (as --filter)"},
};
// Options followed by a value.
struct ValueFlag {
    std::string_view name;
    std::optional<std::string> InspectOptions::*field;
    std::string_view value;  // what the value is, for --help
    std::string_view help;
};
constexpr ValueFlag kValueFlags[] = {
    {"--filter", &InspectOptions::filter, "QUERY",
     "print the rows the filter QUERY shows, in load order"},
    {"--export", &InspectOptions::format, "jsonl|csv",
     "how --filter writes the rows (default jsonl)"},
    {"--fields", &InspectOptions::fields, "LIST",
     "with --export csv: the comma-separated fields to write, in order"},
    {"--sort", &InspectOptions::sort, "[-]FIELD",
     "write the rows sorted by FIELD (a --fields name; -FIELD descending)"},
};

}  // namespace

std::string helpText() {
    std::string text(kInspectUsage);
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

std::optional<ExportFormat> exportFormatNamed(std::string_view name) {
    if (name == "jsonl") {
        return ExportFormat::jsonLines;
    }
    if (name == "csv") {
        return ExportFormat::csv;
    }
    return std::nullopt;
}

namespace {

// The options and logs as given; false (and why, on standard error) for an
// option that is unknown, given twice or missing its value.
bool readArguments(int argc, char** argv, InspectOptions& options) {
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
    return true;
}

}  // namespace

bool parseArguments(int argc, char** argv, InspectOptions& options) {
    if (!readArguments(argc, argv, options)) {
        return false;
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
        auto fields = parseFieldList(*options.fields);
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
    if (rows + options.dump + options.tree + options.pretty + options.summary + options.lifetimes >
        1) {
        std::cerr << "korvantis-inspect: --dump, --tree, --pretty, --summary, --lifetimes and "
                     "--filter go "
                     "alone\n";
        return false;
    }
    return options.pretty ? options.logs.empty() : !options.logs.empty();
}

}  // namespace korvantis

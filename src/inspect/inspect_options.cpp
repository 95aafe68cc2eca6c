// korvantis-inspect's options: the table they are read by, --help, and the
// checks of what goes with what.

#include "inspect/inspect_options.h"

#include <algorithm>
#include <iostream>

#include "decode/utf8_text.h"
#include "fleet/clickhouse_client.h"
#include "inspect/terminal_text.h"
#include "investigation/mark_book.h"

namespace korvantis {

const std::string_view kInspectUsage =
    "usage: korvantis-inspect [--dump | --tree | --gaps | --summary | --lifetimes] LOG...\n"
    "                         (LOG - is standard input)\n"
    "       korvantis-inspect [--follow] [--filter QUERY] [--export jsonl|csv [--fields LIST]]\n"
    "                         [--sort [-]FIELD] LOG...\n"
    "       korvantis-inspect --rules PATH... --rules-report\n"
    "       korvantis-inspect --session FILE [--filter QUERY]\n"
    "                         (--add-tag TAG | --remove-tag TAG | --set-note TEXT) [LOG...]\n"
    "       korvantis-inspect --session FILE [--filter QUERY] [--export ...] [LOG...]\n"
    "       korvantis-inspect [--session FILE] [--filter QUERY] --report html LOG...\n"
    "       korvantis-inspect --to-clickhouse URL [--host NAME] [--table NAME] [--rules PATH]... "
    "LOG...\n"
    "       korvantis-inspect --from-clickhouse URL --table NAME --where SQL\n"
    "                         [--dump | --filter QUERY ... | ...]\n"
    "       korvantis-inspect --index-info LOG...\n"
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
    {"--tree-marks", &InspectOptions::treeMarks,
     "print what the tree window marks, as one JSON array with an entry [PLACE, \"LEVEL\", "
     "[\"TITLE\", ...], -1] per process row whose rows match rules (PLACE: its line's place "
     "among the loaded lines)"},
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
     "print the rows of lines appended later too, until SIGINT or SIGTERM or until no log is "
     "followed (as --filter)"},
    {"--index-info", &InspectOptions::indexInfo,
     "print a line per LOG: whether the index cache holds an index of it, where, its size, "
     "and whether it matches the log as it is now"},
    {"--no-index", &InspectOptions::noIndex,
     "read, write and make nothing in the index cache, not even its folder"},
    {"--rules-report", &InspectOptions::rulesReport,
     "print a line FILE#N<TAB>loaded<TAB>TITLE or FILE#N<TAB>skipped<TAB>REASON per rule "
     "document"},
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
    {"--session", &InspectOptions::session, "FILE",
     "rows carry the tags and notes of the session FILE's marks; without LOG, read the "
     "session's own logs"},
    {"--add-tag", &InspectOptions::addTag, "TAG",
     "add TAG to every row --filter shows and save the session (creating it)"},
    {"--remove-tag", &InspectOptions::removeTag, "TAG",
     "remove TAG from every row --filter shows and save the session"},
    {"--set-note", &InspectOptions::setNote, "TEXT",
     "set the note of every row --filter shows ('' clears it) and save the session"},
    {"--report", &InspectOptions::report, "html",
     "print a report of the marked rows --filter shows, as one HTML page"},
    {"--to-clickhouse", &InspectOptions::toClickHouse, "URL",
     "send every row of each LOG to the ClickHouse server at URL (http://HOST:PORT/); user "
     "and password from KORVANTIS_CLICKHOUSE_USER and KORVANTIS_CLICKHOUSE_PASSWORD"},
    {"--host", &InspectOptions::host, "NAME",
     "with --to-clickhouse: the machine the logs come from (default: each log's file name "
     "without suffixes)"},
    {"--table", &InspectOptions::table, "NAME",
     "the ClickHouse table (default korvantis_events when sending)"},
    {"--from-clickhouse", &InspectOptions::fromClickHouse, "URL",
     "load the rows of --table that --where holds for from the server at URL, one log per "
     "host and log, instead of LOGs"},
    {"--where", &InspectOptions::where, "SQL", "with --from-clickhouse: the SQL condition"},
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
    line("--rules PATH",
         "test the detection rules of PATH (a file, or a folder of .yml and .yaml files; "
         "repeatable) on every row: fields rules, rule_ids, level, filter keys rule: and level:");
    line("--", "no more options: every later argument is a LOG");
    text +=
        "\nExit status: 0 on success, 1 when a LOG cannot be opened or the output fails,\n"
        "2 on bad usage or an invalid query.\n";
    text +=
        "A session that cannot be read or saved is named on standard error, status 1;\n"
        "marks that no longer match their lines are counted there, status unchanged.\n";
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

// The options of marks and sessions on their own.
bool checkMarkOptions(const InspectOptions& options) {
    const int edits =
        options.addTag.has_value() + options.removeTag.has_value() + options.setNote.has_value();
    if (edits > 1) {
        std::cerr << "korvantis-inspect: --add-tag, --remove-tag and --set-note go one at a "
                     "time\n";
        return false;
    }
    if (edits == 1 && !options.session) {
        std::cerr << "korvantis-inspect: an edit of marks needs --session FILE to keep it in\n";
        return false;
    }
    if (options.report && *options.report != "html") {
        std::cerr << "korvantis-inspect: --report takes html, not " << *options.report << "\n";
        return false;
    }
    for (const auto* tag : {&options.addTag, &options.removeTag}) {
        if (*tag && !isTagWord(**tag)) {
            std::cerr << "korvantis-inspect: \"" << **tag
                      << "\" is not a tag: 1 to 64 of A-Z a-z 0-9 _ . : -\n";
            return false;
        }
    }
    if (options.setNote && options.setNote->size() > kMaxNoteBytes) {
        std::cerr << "korvantis-inspect: --set-note: a note holds at most 64 KiB, this one "
                  << options.setNote->size() << " bytes\n";
        return false;
    }
    if (options.setNote && !isValidUtf8(*options.setNote)) {
        std::cerr << "korvantis-inspect: --set-note: the note is not valid UTF-8\n";
        return false;
    }
    return true;
}

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
        if (!onlyLogs && arg == "--rules") {
            if (i + 1 == argc) {
                std::cerr << "korvantis-inspect: --rules needs a value\n";
                return false;
            }
            options.rules.emplace_back(argv[++i]);
            continue;
        }
        if (!onlyLogs && arg.size() > 1 && arg[0] == '-') {
            // Given twice, an option would silently count once.
            if (std::find(seen.begin(), seen.end(), arg) != seen.end()) {
                std::cerr << "korvantis-inspect: " << terminalText(arg) << " given twice\n";
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
                        std::cerr << "korvantis-inspect: " << terminalText(arg)
                                  << " needs a value\n";
                        return false;
                    }
                    options.*flag.field = argv[++i];
                    known = true;
                }
            }
            if (!known) {
                std::cerr << "korvantis-inspect: unknown option " << terminalText(arg) << "\n";
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
        std::cerr << "korvantis-inspect: --export takes jsonl or csv, not "
                  << terminalText(*options.format) << "\n";
        return false;
    }
    if (options.help || options.version) {
        return true;
    }
    if (options.rulesReport) {
        return true;  // LOGs, if any, are not loaded
    }
    if (options.indexInfo) {
        // It reads the cache and loads nothing: every other option would be dropped.
        const bool endOfOptions =
            std::find(argv + 1, argv + argc, std::string_view("--")) != argv + argc;
        if (static_cast<std::size_t>(argc) != options.logs.size() + 2 + endOfOptions ||
            options.logs.empty()) {
            std::cerr << "korvantis-inspect: --index-info takes logs only\n";
            return false;
        }
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
                      << terminalText(*options.fields) << "\"\n";
            return false;
        }
        options.csvFields = std::move(*fields);
    }
    if (options.table && !validTableName(*options.table)) {
        std::cerr << "korvantis-inspect: --table: not a table name: \"" << *options.table << "\"\n";
        return false;
    }
    if (options.toClickHouse) {
        if (options.fromClickHouse || options.where || options.filter || options.format ||
            options.sort || options.follow || options.dump || options.tree || options.treeMarks ||
            options.gaps || options.summary || options.lifetimes || options.pretty ||
            options.logs.empty()) {
            std::cerr << "korvantis-inspect: --to-clickhouse takes --host, --table, --rules and "
                         "logs only\n";
            return false;
        }
        return true;
    }
    if (options.host) {
        std::cerr << "korvantis-inspect: --host goes with --to-clickhouse only\n";
        return false;
    }
    if (options.fromClickHouse) {
        if (!options.table || !options.where || !options.logs.empty() || options.follow) {
            std::cerr << "korvantis-inspect: --from-clickhouse needs --table and --where, and "
                         "takes no logs nor --follow\n";
            return false;
        }
    } else if (options.table || options.where) {
        std::cerr << "korvantis-inspect: --table and --where go with --to-clickhouse or "
                     "--from-clickhouse\n";
        return false;
    }
    if (options.follow && options.sort) {
        std::cerr << "korvantis-inspect: --sort needs every row first; it does not go with "
                     "--follow\n";
        return false;
    }
    if (!checkMarkOptions(options)) {
        return false;
    }
    const bool edit = editsMarks(options);
    const bool rows = (options.filter && !edit && !options.report) || options.format ||
                      options.sort || options.follow;
    if (rows + edit + options.report.has_value() + options.dump + options.tree + options.treeMarks +
            options.pretty + options.summary + options.lifetimes >
        1) {
        if (edit || options.report) {
            std::cerr << "korvantis-inspect: an edit of marks (--add-tag, --remove-tag, "
                         "--set-note) and --report go alone, without another output\n";
            return false;
        }
        std::cerr << "korvantis-inspect: --dump, --tree, --tree-marks, --pretty, --summary, "
                     "--lifetimes and --filter go alone\n";
        return false;
    }
    if (options.fromClickHouse) {
        return true;
    }
    if (options.pretty) {
        return options.logs.empty();
    }
    // A session names its own logs; a report names the logs it is of.
    return !options.logs.empty() || (options.session && !options.report);
}

}  // namespace korvantis

#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "output/row_export.h"

namespace korvantis {

// What korvantis-inspect's usage line says.
extern const std::string_view kInspectUsage;

struct InspectOptions {
    bool help = false;
    bool version = false;
    bool dump = false;
    bool tree = false;                  // the tree JSON alone
    bool treeMarks = false;             // the tree nodes whose rows have rule hits
    bool gaps = false;                  // where eslogger's message numbers jump
    bool summary = false;               // who did most: types, programs, paths, seconds
    bool lifetimes = false;             // how each eslogger process row's run ends
    bool pretty = false;                // stdin's JSON text in readable form; no logs
    bool follow = false;                // the rows of lines appended too, until stopped
    bool noIndex = false;               // nothing read from, written to or made in the index cache
    bool indexInfo = false;             // per log, what the index cache holds for it; no loads
    std::optional<std::string> filter;  // the matching rows of every kind
    std::optional<std::string> format;  // how --filter writes them
    std::optional<std::string> fields;  // a CSV record's fields, comma-separated
    FieldList csvFields = defaultCsvFields();
    std::optional<std::string> sort;     // the order --filter writes them in
    std::vector<std::string> rules;      // detection rule files and folders, in order
    bool rulesReport = false;            // what became of each rule document; no logs
    std::optional<std::string> session;  // the session file whose marks rows carry
    std::optional<std::string> addTag;   // edits of the marks of the rows --filter shows
    std::optional<std::string> removeTag;
    std::optional<std::string> setNote;
    std::optional<std::string> report;          // the report's form: html
    std::optional<std::string> toClickHouse;    // the server the logs' rows go to
    std::optional<std::string> fromClickHouse;  // the server the logs are read from
    std::optional<std::string> host;            // the machine the sent logs come from
    std::optional<std::string> table;           // the server's table
    std::optional<std::string> where;           // which rows --from-clickhouse reads
    std::vector<std::string> logs;
};

// The usage, then a line per option; what --help prints.
std::string helpText();

std::optional<ExportFormat> exportFormatNamed(std::string_view name);

// Whether the options edit the session's marks.
inline bool editsMarks(const InspectOptions& options) {
    return options.addTag || options.removeTag || options.setNote;
}

// The options as given on the command line, checked: an unknown option, one
// given twice or without its value, outputs that do not go together, a bad
// --export or --fields, an edit of marks with an output or without
// --session, a bad tag or note, or logs missing (unless a session names
// them, or given with --pretty) give false,
// with the reason on standard error.
bool parseArguments(int argc, char** argv, InspectOptions& options);

}  // namespace korvantis

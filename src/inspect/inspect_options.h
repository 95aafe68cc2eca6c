#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "query/row_export.h"

namespace korvantis {

// What korvantis-inspect's usage line says.
extern const std::string_view kInspectUsage;

struct InspectOptions {
    bool help = false;
    bool version = false;
    bool dump = false;
    bool tree = false;                  // the tree JSON alone
    bool gaps = false;                  // where eslogger's message numbers jump
    bool summary = false;               // who did most: types, programs, paths, seconds
    bool lifetimes = false;             // how each eslogger process row's run ends
    bool pretty = false;                // stdin's JSON text in readable form; no logs
    bool follow = false;                // the rows of lines appended too, until stopped
    std::optional<std::string> filter;  // the matching rows of every kind
    std::optional<std::string> format;  // how --filter writes them
    std::optional<std::string> fields;  // a CSV record's fields, comma-separated
    FieldList csvFields = defaultCsvFields();
    std::optional<std::string> sort;  // the order --filter writes them in
    std::vector<std::string> logs;
};

// The usage, then a line per option; what --help prints.
std::string helpText();

std::optional<ExportFormat> exportFormatNamed(std::string_view name);

// The options as given on the command line, checked: an unknown option, one
// given twice or without its value, outputs that do not go together, a bad
// --export or --fields, or logs missing (or given with --pretty) give false,
// with the reason on standard error.
bool parseArguments(int argc, char** argv, InspectOptions& options);

}  // namespace korvantis

#pragma once

#include <string>

#include "query/trace_summary.h"

namespace korvantis {

// The summary of a trace as text, a section per list: a title line, then a
// line per entry, indented, its counts right-aligned in columns and its name
// last (control characters in it written as \xNN, so that an entry stays on
// its line). Seconds are named as UTC instants an after: term takes.
std::string summaryText(const TraceSummary& summary);

}  // namespace korvantis

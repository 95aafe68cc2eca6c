#pragma once

#include <string>
#include <string_view>

#include "store/row_view.h"

namespace korvantis {

// The facts card of a row from an eslogger message, shown above its readable
// JSON: its kind, time, pid (with its version), ppid and path, then each fact
// that is not empty, one "Label: value" line each. Empty for the viewer's own
// records, which show no card. `run` is what the row says of a process run
// (see lifetime_text.h): a process row's lifetime, last as "Lifetime: ...",
// or the row an exit ends, as "Ends: ..."; left out when empty. Last, one
// "Rule: TITLE (LEVEL) — DESCRIPTION" line per detection rule the row
// matches, in rule order; a row of the viewer's own records that matches
// rules has a card of those lines alone.
std::string factsCardText(const RowView& row, std::string_view run = {});

}  // namespace korvantis

#pragma once

#include <string>

#include "store/row_view.h"

namespace korvantis {

// The facts card of a row from an eslogger message, shown above its readable
// JSON: its kind, time, pid (with its version), ppid and path, then each fact
// that is not empty, one "Label: value" line each. Empty for the viewer's own
// records, which show no card.
std::string factsCardText(const RowView& row);

}  // namespace korvantis

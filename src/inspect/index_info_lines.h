#pragma once

#include <string>
#include <vector>

#include "inspect/checked_output.h"

namespace korvantis {

// --index-info: a line LOG: TEXT per log of what the index cache holds for
// it; a log that cannot be opened is named on standard error instead. Only
// reads the cache. The exit status.
int writeIndexInfo(const std::vector<std::string>& logs, CheckedOutput& out);

}  // namespace korvantis

#pragma once

#include <string>
#include <string_view>

#include "investigation/row_marks.h"
#include "query/filter_query.h"
#include "store/event_store.h"

namespace korvantis {

// The report of an investigation as one self-contained HTML page: the logs
// (names, sizes, time ranges), the filter in use, the marked rows the
// filter shows in time order (time, kind, pid, path, command line, tags,
// note), then the counts. Every text from a log or a user is escaped, and
// bidirectional and other control characters are shown by their code
// instead of acting; the page has no script, and its Content-Security-Policy
// forbids scripts and anything from outside. `query` (the parsed `filter`)
// must have its tree terms bound.
std::string marksReport(const EventStore& store, const RowMarks& marks, std::string_view filter,
                        const FilterQuery& query);

// `text` as HTML text: markup characters escaped, invalid UTF-8 replaced,
// control and bidirectional formatting characters shown as their code.
std::string htmlText(std::string_view text);

}  // namespace korvantis

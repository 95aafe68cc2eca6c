#pragma once

#include <simdjson.h>

#include <string>
#include <string_view>

namespace korvantis {

// The one-line summary of an event of a kind that is neither a process nor a
// file event. For "exit", `body` (the kind's object) gives its `stat` read as
// a wait status: "exit CODE", "stopped CODE" or "signal N", with
// " (core dumped)" where the status says so. For any other kind, the first
// string under a member named "path" met walking `body` depth first, members
// and array elements in written order, a member's value tested before going
// into it. Empty when there is none. The result lives in the document or in
// `scratch`.
std::string_view otherEventSummary(std::string_view kind, const simdjson::dom::element& body,
                                   std::string& scratch);

// The wait status text of `stat`, as above (a negative value taken as its
// two's complement).
std::string waitStatusText(std::int64_t stat);

}  // namespace korvantis

#pragma once

#include <string>
#include <string_view>

namespace korvantis {

// How a process row's run ended, in a few words, as the `outcome` field
// says it: "exit 0" or "signal 9" (the summary of the exit that ends it;
// "exited" without one), "became /bin/ls" (the exec that ends it), "ended
// unseen" (a later fork gave its pid to another process) or "still running".
// Empty for rows whose run is not followed.
inline constexpr std::string_view kStillRunningOutcome = "still running";
inline constexpr std::string_view kEndedUnseenOutcome = "ended unseen";

// The outcome of a run that an exit with summary `summary` ends: the
// summary itself, or "exited" when it is empty.
inline std::string_view exitOutcome(std::string_view summary) {
    return summary.empty() ? std::string_view("exited") : summary;
}
// The outcome of a run that an exec of `path` ends.
std::string becameOutcome(std::string_view path);

}  // namespace korvantis

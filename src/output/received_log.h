#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace korvantis {

class LogFiles;

// The first of the logs that came down a pipe (standard input or a FIFO) and
// are kept in a spool file; nothing when there is none.
std::optional<std::uint32_t> firstReceivedLog(const LogFiles& logs);

// Writes what was received of `log` so far, the bytes as they came, to
// `target`, replacing it in one step as an export does. Empty on success,
// else the reason, naming `target`.
std::string saveReceivedLog(const LogFiles& logs, std::uint32_t log, const std::string& target);

}  // namespace korvantis

#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "fleet/clickhouse_client.h"
#include "fleet/fleet_send.h"

namespace korvantis {

class RuleSet;

// One log to send: where it is, the machine it comes from, and the rules
// whose hits go in the `rules` and `level` columns (none: empty columns).
struct LogToSend {
    std::string path;
    std::string host;
    std::shared_ptr<const RuleSet> rules;
};

// The host a log is sent as by default: its file name without suffixes.
std::string defaultHostOf(const std::string& path);

// Told the lines acknowledged so far of the log being sent and its line count.
using LogSendProgress = std::function<void(std::uint64_t acknowledged, std::uint64_t total)>;

// How sending one log ended; `error` (empty when every line was acknowledged)
// names what failed, with the server's own text.
struct LogSendResult {
    std::uint64_t acknowledged = 0;
    std::uint64_t total = 0;
    std::string error;
    bool ok() const { return error.empty(); }
};

// Loads `log` as the viewer does, on the calling thread, and sends every
// stored line of it to `table`: rows with what the viewer derived of them,
// lines that are no row with their line alone, so the log read back builds
// what this one built. Stops with "cancelled" once `*stop` is set.
LogSendResult sendLog(const ClickHouseClient& client, const std::string& table,
                      const LogToSend& log, const LogSendProgress& progress,
                      const std::atomic<bool>* stop = nullptr);

}  // namespace korvantis

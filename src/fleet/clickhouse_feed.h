#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>

#include "fleet/fleet_fetch.h"

namespace korvantis {

// What a "clickhouse+http://HOST:PORT/?table=T&where=SQL" address names: the
// server's URL (other parameters, such as database, kept), the table and
// the condition, percent-decoded.
struct ClickHouseQueryUrl {
    std::string serverUrl;
    std::string table;
    std::string where;
};
constexpr std::string_view kClickHouseUrlScheme = "clickhouse+";
// Nothing but `error` set when `text` is no such address or lacks a valid
// table or a condition.
struct ParsedClickHouseUrl {
    ClickHouseQueryUrl url;
    std::string error;
};
ParsedClickHouseUrl parseClickHouseQueryUrl(std::string_view text);

// Hands what a query finds to a loader through named pipes, one per (host,
// log), each named "HOST: LOG (ClickHouse)" in an owner-only folder of its
// own: `load` is told a pipe's path when its first row comes, and the pipe
// is written as the loader reads it, so the log loads, spooled, as standard
// input does. Runs on the calling thread until the rows have all gone, the
// loader stops reading (a cancelled load: "the load was cancelled"), or
// `*stop` is set ("cancelled"). The folder is gone on return.
FetchResult feedLogs(const ClickHouseClient& client, std::string_view table, std::string_view where,
                     const std::function<void(const std::string&)>& load,
                     const std::atomic<bool>& stop);

}  // namespace korvantis

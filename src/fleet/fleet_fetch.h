#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "fleet/clickhouse_client.h"

namespace korvantis {

// The SELECT that asks `table` for the raw lines of the rows `where` holds
// for, in (host, log, line) order.
std::string fetchSql(std::string_view table, std::string_view where);

// Told each log as its first row comes (host, log name), then its raw lines.
struct FetchSinks {
    std::function<bool(std::string_view host, std::string_view log)> log;
    std::function<bool(std::string_view raw)> line;
};

struct FetchResult {
    std::uint64_t rows = 0;
    std::string error;
    bool ok() const { return error.empty(); }
};

// Runs fetchSql() read-only on the server and hands the rows to `sinks` as
// they come; a row sent twice (same host, log identity and line) is handed
// over once. A sink's false stops the fetch.
FetchResult fetchLogs(const ClickHouseClient& client, std::string_view table,
                      std::string_view where, const FetchSinks& sinks);

// The number of rows `where` holds for in `table`, a row sent twice counted
// once, as fetchLogs() hands it over once.
FetchResult countRows(const ClickHouseClient& client, std::string_view table,
                      std::string_view where);

// A field of ClickHouse's TabSeparated output as it was stored.
std::string unescapeTabSeparated(std::string_view field);

}  // namespace korvantis

#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "fleet/clickhouse_client.h"
#include "fleet/event_columns.h"

namespace korvantis {

// How a send ended: the rows the server acknowledged, and why it stopped
// early (empty when every row was taken).
struct SendResult {
    std::uint64_t acknowledged = 0;
    std::string error;
    bool ok() const { return error.empty(); }
};

// Fills in the next row to send and returns true, or false after the last.
using SentRowSource = std::function<bool(SentRow&)>;
// Told the rows acknowledged so far after each batch.
using SendProgress = std::function<void(std::uint64_t acknowledged)>;

// Creates `table` when it is missing.
SendResult createEventTable(const ClickHouseClient& client, std::string_view table);

// Sends every row `next` gives to `table` (a checked name) in RowBinary
// batches of about `batchBytes`, each acknowledged before the next goes;
// `next` makes the next batch while one is on its way.
SendResult sendRows(const ClickHouseClient& client, std::string_view table,
                    const SentRowSource& next, const SendProgress& progress,
                    std::size_t batchBytes = 16 << 20);

}  // namespace korvantis

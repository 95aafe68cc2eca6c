// Sending rows to ClickHouse in batches.

#include "fleet/fleet_send.h"

#include <future>

namespace korvantis {

SendResult createEventTable(const ClickHouseClient& client, std::string_view table) {
    SendResult result;
    const ClickHouseReply reply = client.post(createTableSql(table), {});
    if (!reply.ok) {
        result.error = reply.error;
    }
    return result;
}

SendResult sendRows(const ClickHouseClient& client, std::string_view table,
                    const SentRowSource& next, const SendProgress& progress,
                    std::size_t batchBytes) {
    SendResult result;
    const std::string insert = insertSql(table);
    // One batch is on its way while the next is made: the server parses
    // and stores as the rows are read and encoded here. The next goes only
    // once the one before is acknowledged, so a failure leaves every row
    // after the last acknowledged one unsent.
    std::string sending;  // outlives the request that reads it
    std::future<ClickHouseReply> inFlight;
    std::uint64_t inFlightRows = 0;
    auto collect = [&] {
        if (!inFlight.valid()) {
            return true;
        }
        const ClickHouseReply reply = inFlight.get();
        if (!reply.ok) {
            result.error = reply.error;
            return false;
        }
        result.acknowledged += inFlightRows;
        inFlightRows = 0;
        if (progress) {
            progress(result.acknowledged);
        }
        return true;
    };
    std::string batch;
    batch.reserve(batchBytes + (1 << 16));
    std::uint64_t inBatch = 0;
    SentRow row;
    bool more = true;
    while (more) {
        more = next(row);
        if (more) {
            appendRow(batch, row);
            ++inBatch;
        }
        if (inBatch == 0 || (more && batch.size() < batchBytes)) {
            continue;
        }
        if (!collect()) {
            return result;
        }
        sending.swap(batch);
        batch.clear();
        inFlightRows = inBatch;
        inBatch = 0;
        // A Distributed table hands the rows on before it answers, so an
        // acknowledged row is on its shard.
        inFlight = std::async(std::launch::async, [&client, &insert, &sending] {
            return client.post(insert, sending, "insert_distributed_sync=1");
        });
    }
    collect();
    return result;
}

}  // namespace korvantis

// Sending rows to ClickHouse in batches.

#include "fleet/fleet_send.h"

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
    const std::string insert = "INSERT INTO " + std::string(table) + " FORMAT JSONEachRow";
    std::string batch;
    std::uint64_t inBatch = 0;
    SentRow row;
    bool more = true;
    while (more) {
        more = next(row);
        if (more) {
            appendJsonRow(batch, row);
            ++inBatch;
        }
        if (inBatch == 0 || (more && batch.size() < batchBytes)) {
            continue;
        }
        // A Distributed table hands the rows on before it answers, so an
        // acknowledged row is on its shard.
        const ClickHouseReply reply = client.post(
            insert, batch, "insert_distributed_sync=1&input_format_skip_unknown_fields=0");
        if (!reply.ok) {
            result.error = reply.error;
            return result;
        }
        result.acknowledged += inBatch;
        batch.clear();
        inBatch = 0;
        if (progress) {
            progress(result.acknowledged);
        }
    }
    return result;
}

}  // namespace korvantis

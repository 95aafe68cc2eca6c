// The texts rows go to the server in and come back in.

#include <gtest/gtest.h>

#include <string>

#include "fleet/clickhouse_client.h"
#include "fleet/event_columns.h"
#include "fleet/fleet_fetch.h"

namespace korvantis {
namespace {

TEST(FleetText, TableNames) {
    const struct {
        const char* name;
        bool valid;
    } cases[] = {
        {"korvantis_events", true},
        {"db.events", true},
        {"_x1", true},
        {"", false},
        {"1abc", false},
        {"a;DROP", false},
        {"a b", false},
        {"a-b", false},
        {".a", false},
        {"a`b", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(validTableName(c.name), c.valid) << c.name;
    }
}

// What is sent as JSON comes back through TabSeparated as it was, byte for
// byte: the round trip a raw line makes through the server.
TEST(FleetText, EscapesOfBothWays) {
    const struct {
        std::string raw;
        std::string json;
        std::string tabSeparated;  // as the server writes the stored bytes
    } cases[] = {
        {"plain", "\"plain\"", "plain"},
        {"q\"b\\", "\"q\\\"b\\\\\"", "q\"b\\\\"},
        {std::string("t\tn\nnul\0e", 9), "\"t\\tn\\nnul\\u0000e\"", "t\\tn\\nnul\\0e"},
        {"\xff\xfe bad utf-8 \xc3\xa9", "\"\xff\xfe bad utf-8 \xc3\xa9\"",
         "\xff\xfe bad utf-8 \xc3\xa9"},
        {"it's", "\"it's\"", "it\\'s"},
    };
    for (const auto& c : cases) {
        std::string json;
        appendClickHouseJson(json, c.raw);
        EXPECT_EQ(json, c.json);
        EXPECT_EQ(unescapeTabSeparated(c.tabSeparated), c.raw) << c.tabSeparated;
    }
}

TEST(FleetText, SchemaHasEveryColumnAndReplacingOrder) {
    const std::string sql = createTableSql("t");
    for (const EventColumn& column : eventColumns()) {
        EXPECT_NE(sql.find("`" + std::string(column.name) + "` " + std::string(column.type)),
                  std::string::npos)
            << column.name;
    }
    EXPECT_NE(sql.find("ReplacingMergeTree ORDER BY (host, log_id, line)"), std::string::npos);
}

}  // namespace
}  // namespace korvantis

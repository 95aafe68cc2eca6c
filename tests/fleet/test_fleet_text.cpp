// The texts rows go to the server in and come back in.

#include <gtest/gtest.h>

#include <string>

#include "fleet/clickhouse_client.h"
#include "fleet/clickhouse_feed.h"
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

// korvantis 'clickhouse+http://…': the server keeps its own parameters, the
// table and condition are percent-decoded, and an address that lacks either
// (or names no table) opens nothing.
TEST(FleetText, QueryAddresses) {
    const struct {
        const char* address;
        const char* server;  // nullptr: refused
        const char* table;
        const char* where;
    } cases[] = {
        {"clickhouse+http://127.0.0.1:8123/?table=t&where=host%20%3D%20'mac-1'",
         "http://127.0.0.1:8123/", "t", "host = 'mac-1'"},
        {"clickhouse+https://h:8443/?database=fleet&table=db.t&where=1&x=2",
         "https://h:8443/?database=fleet&x=2", "db.t", "1"},
        {"clickhouse+http://h/?where=a%26b%3Dc&table=t", "http://h/", "t", "a&b=c"},
        {"clickhouse+http://h/?table=t", nullptr, "", ""},
        {"clickhouse+http://h/?table=t&where=", nullptr, "", ""},
        {"clickhouse+http://h/?table=a%3BDROP&where=1", nullptr, "", ""},
        {"clickhouse+ftp://h/?table=t&where=1", nullptr, "", ""},
        {"http://h/?table=t&where=1", nullptr, "", ""},
    };
    for (const auto& c : cases) {
        const ParsedClickHouseUrl parsed = parseClickHouseQueryUrl(c.address);
        if (c.server == nullptr) {
            EXPECT_NE(parsed.error, "") << c.address;
            continue;
        }
        EXPECT_EQ(parsed.error, "") << c.address;
        EXPECT_EQ(parsed.url.serverUrl, c.server);
        EXPECT_EQ(parsed.url.table, c.table);
        EXPECT_EQ(parsed.url.where, c.where);
    }
}

// Rows go in RowBinary: a String's length as a varint (one byte up to 127,
// two up to 16383, ...) before its bytes, which go as they are; an integer
// as eight little-endian bytes.
TEST(FleetText, RowBinaryOfStringsAndIntegers) {
    const struct {
        std::string text;
        std::string head;  // the bytes before the text's own
    } strings[] = {
        {"", std::string(1, '\0')},          {std::string("t\tn\nnul\0\xff\"'", 11), "\x0b"},
        {std::string(127, 'a'), "\x7f"},     {std::string(128, 'a'), "\x80\x01"},
        {std::string(300, 'a'), "\xac\x02"}, {std::string(16384, 'a'), "\x80\x80\x01"},
    };
    for (const auto& c : strings) {
        std::string out;
        appendRowBinaryString(out, c.text);
        EXPECT_EQ(out, c.head + c.text) << c.text.size();
    }
    const struct {
        std::uint64_t value;
        std::string bytes;
    } integers[] = {
        {0, std::string(8, '\0')},
        {0x0102030405060708ULL, "\x08\x07\x06\x05\x04\x03\x02\x01"},
        {static_cast<std::uint64_t>(kNoTimeColumn), std::string(7, '\0') + "\x80"},
        {static_cast<std::uint64_t>(std::int64_t{-1}), std::string(8, '\xff')},
    };
    for (const auto& c : integers) {
        std::string out;
        appendRowBinaryInt(out, c.value);
        EXPECT_EQ(out, c.bytes) << c.value;
    }
}

// Raw lines come back through TabSeparated as they were stored.
TEST(FleetText, TabSeparatedUnescapes) {
    const struct {
        std::string tabSeparated;
        std::string raw;
    } cases[] = {
        {"plain", "plain"},
        {"q\"b\\\\", "q\"b\\"},
        {"t\\tn\\nnul\\0e", std::string("t\tn\nnul\0e", 9)},
        {"\xff\xfe bad utf-8 \xc3\xa9", "\xff\xfe bad utf-8 \xc3\xa9"},
        {"it\\'s", "it's"},
    };
    for (const auto& c : cases) {
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
    // The insert names the columns in the order rows give them.
    std::string names;
    for (const EventColumn& column : eventColumns()) {
        names += (names.empty() ? "`" : ", `") + std::string(column.name) + "`";
    }
    EXPECT_EQ(insertSql("t"), "INSERT INTO t (" + names + ") FORMAT RowBinary");
}

}  // namespace
}  // namespace korvantis

#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/row_view.h"

namespace korvantis {

// One row as it is sent: where it comes from, what the viewer derived of
// it, and its line as recorded.
struct SentRow {
    std::string_view host;
    std::string_view log;    // the log's name
    std::string_view logId;  // the log's identity: its size and a checksum of its lines
    std::uint64_t line = 0;  // the row's place in its log, from 1
    RowView row;
    std::string_view raw;
    bool isRow = true;  // false for a line the viewer keeps but shows as no row
    // The row's command line, and its parent's image and command line, as
    // the row's rules see them.
    std::string_view commandLine = {};
    std::string_view parentImage = {};
    std::string_view parentCommandLine = {};
};

// The value `time` holds for a row without a time value.
inline constexpr std::int64_t kNoTimeColumn = INT64_MIN;

// One column of the events table: its name, its ClickHouse type, and how a
// row's value is written in RowBinary. A new column is one more entry of
// eventColumns().
struct EventColumn {
    std::string_view name;
    std::string_view type;
    void (*append)(std::string& out, const SentRow& row);
};

const std::vector<EventColumn>& eventColumns();

// CREATE TABLE IF NOT EXISTS for `table` (a checked name): every column,
// ReplacingMergeTree ordered by (host, log_id, line), so a row sent again
// replaces itself.
std::string createTableSql(std::string_view table);

// The INSERT that takes rows of appendRow() into `table` (a checked name):
// every column named, in RowBinary, which the server reads without guessing
// or unescaping anything and fastest of its formats.
std::string insertSql(std::string_view table);

// Appends `row`'s columns in RowBinary, in eventColumns()' order.
void appendRow(std::string& out, const SentRow& row);

// RowBinary's String (its length as a LEB128 varint, then its bytes) and its
// Int64 and UInt64 (eight bytes, little-endian).
void appendRowBinaryString(std::string& out, std::string_view text);
void appendRowBinaryInt(std::string& out, std::uint64_t value);

}  // namespace korvantis

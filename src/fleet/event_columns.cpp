// The columns rows are sent with.

#include "fleet/event_columns.h"

#include <array>

#include "store/row_fields.h"

namespace korvantis {

void appendRowBinaryString(std::string& out, std::string_view text) {
    // The length as a LEB128 varint, then the bytes as they are.
    std::uint64_t length = text.size();
    while (length >= 0x80) {
        out.push_back(static_cast<char>((length & 0x7f) | 0x80));
        length >>= 7;
    }
    out.push_back(static_cast<char>(length));
    out.append(text);
}

void appendRowBinaryInt(std::string& out, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) {
        out.push_back(static_cast<char>(value >> (8 * i)));
    }
}

namespace {

void text(std::string& out, std::string_view value) {
    appendRowBinaryString(out, value);
}

void number(std::string& out, std::int64_t value) {
    appendRowBinaryInt(out, static_cast<std::uint64_t>(value));
}

// The Sigma event fields a row gives by itself: the process it is about (or
// that acted), its whole command line and directory, and a file row's file.
std::string_view image(const RowView& row) {
    if (row.kind == RowKind::process) {
        return row.path;
    }
    return row.facts[Fact::process_path];
}

// A row field's column, under the field's name: a number as Int64 (0 where
// the row has none), anything else as the String a CSV record holds. A line
// that makes no row has an empty kind.
template <FieldId F>
void fieldColumn(std::string& out, const SentRow& r) {
    if (rowField(F).form == FieldForm::number) {
        const FieldValue value = fieldValue(F, r.row);
        number(out, value.hasNumber ? value.number : 0);
        return;
    }
    std::string scratch;
    text(out, F == FieldId::kind && !r.isRow ? std::string_view() : fieldText(F, r.row, scratch));
}

template <FieldId F>
EventColumn fieldColumnOf() {
    return {rowField(F).name, rowField(F).form == FieldForm::number ? "Int64" : "String",
            &fieldColumn<F>};
}

template <std::size_t... I>
std::vector<EventColumn> factColumns(std::index_sequence<I...>) {
    return {fieldColumnOf<fieldOf(static_cast<Fact>(I))>()...};
}

std::vector<EventColumn> makeColumns() {
    std::vector<EventColumn> columns = {
        {"host", "String", [](std::string& o, const SentRow& r) { text(o, r.host); }},
        {"log", "String", [](std::string& o, const SentRow& r) { text(o, r.log); }},
        {"log_id", "String", [](std::string& o, const SentRow& r) { text(o, r.logId); }},
        {"line", "UInt64", [](std::string& o, const SentRow& r) { appendRowBinaryInt(o, r.line); }},
        fieldColumnOf<FieldId::kind>(),
        fieldColumnOf<FieldId::type>(),
        {"time", "Int64",
         [](std::string& o, const SentRow& r) {
             number(o, r.row.time == kNoTimeValue ? kNoTimeColumn : r.row.time);
         }},
        fieldColumnOf<FieldId::timestamp>(),
        fieldColumnOf<FieldId::pid>(),
        fieldColumnOf<FieldId::ppid>(),
        fieldColumnOf<FieldId::path>(),
    };
    // Every fact under its own name (summary among them).
    for (EventColumn& fact : factColumns(std::make_index_sequence<kFactCount>{})) {
        columns.push_back(fact);
    }
    const std::vector<EventColumn> sigma = {
        {"Image", "String", [](std::string& o, const SentRow& r) { text(o, image(r.row)); }},
        {"CommandLine", "String", [](std::string& o, const SentRow& r) { text(o, r.commandLine); }},
        {"ParentImage", "String", [](std::string& o, const SentRow& r) { text(o, r.parentImage); }},
        {"ParentCommandLine", "String",
         [](std::string& o, const SentRow& r) { text(o, r.parentCommandLine); }},
        {"CurrentDirectory", "String",
         [](std::string& o, const SentRow& r) { text(o, r.row.facts[Fact::cwd]); }},
        {"TargetFilename", "String",
         [](std::string& o, const SentRow& r) {
             text(o, r.row.kind == RowKind::file ? r.row.path : std::string_view());
         }},
        fieldColumnOf<FieldId::outcome>(),
        fieldColumnOf<FieldId::rules>(),
        fieldColumnOf<FieldId::level>(),
        {"raw", "String", [](std::string& o, const SentRow& r) { text(o, r.raw); }},
    };
    columns.insert(columns.end(), sigma.begin(), sigma.end());
    return columns;
}

}  // namespace

const std::vector<EventColumn>& eventColumns() {
    static const std::vector<EventColumn> columns = makeColumns();
    return columns;
}

std::string createTableSql(std::string_view table) {
    std::string sql = "CREATE TABLE IF NOT EXISTS ";
    sql += table;
    sql += " (";
    bool first = true;
    for (const EventColumn& column : eventColumns()) {
        sql += first ? "" : ", ";
        first = false;
        sql += '`';
        sql += column.name;
        sql += "` ";
        sql += column.type;
    }
    sql += ") ENGINE = ReplacingMergeTree ORDER BY (host, log_id, line)";
    return sql;
}

std::string insertSql(std::string_view table) {
    std::string sql = "INSERT INTO ";
    sql += table;
    sql += " (";
    bool first = true;
    for (const EventColumn& column : eventColumns()) {
        sql += first ? "`" : ", `";
        first = false;
        sql += column.name;
        sql += '`';
    }
    sql += ") FORMAT RowBinary";
    return sql;
}

void appendRow(std::string& out, const SentRow& row) {
    for (const EventColumn& column : eventColumns()) {
        column.append(out, row);
    }
}

}  // namespace korvantis

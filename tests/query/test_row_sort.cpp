#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "decode/row_facts.h"
#include "decode/time_value.h"
#include "output/row_export.h"
#include "query/row_sort.h"
#include "support/encoded_facts.h"

namespace korvantis {
namespace {

// The plain reference: a stable sort of the rows with a value, by value
// (descending: the comparison turned round, not the result reversed), then
// the rows without one in load order.
std::vector<std::uint32_t> referenceOrder(const std::vector<RowView>& rows, FieldId field,
                                          bool descending) {
    std::vector<std::uint32_t> order(rows.size());
    std::iota(order.begin(), order.end(), 0);
    const auto empty = std::stable_partition(order.begin(), order.end(), [&](std::uint32_t i) {
        return !sortKeyOf(field, rows[i]).empty;
    });
    const auto less = [&](std::uint32_t a, std::uint32_t b) {
        const SortKey x = sortKeyOf(field, rows[a]);
        const SortKey y = sortKeyOf(field, rows[b]);
        if (sortKindOf(field) == SortKind::text) {
            // Bytes compared as unsigned, as UTF-8 orders code points.
            return std::lexicographical_compare(
                x.text.begin(), x.text.end(), y.text.begin(), y.text.end(), [](char c, char d) {
                    return static_cast<unsigned char>(c) < static_cast<unsigned char>(d);
                });
        }
        return x.number < y.number;
    };
    std::stable_sort(order.begin(), empty, [&](std::uint32_t a, std::uint32_t b) {
        return descending ? less(b, a) : less(a, b);
    });
    return order;
}

// Every field a sort or an export knows, found by its name.
std::vector<FieldId> everyField() {
    std::string names;
    for (const RowField& field : rowFields()) {
        names += (names.empty() ? "" : ",") + std::string(field.name);
    }
    return *parseFieldList(names);
}

using testsupport::encodedFacts;

TEST(RowSort, AgreesWithStableSortForEveryField) {
    std::mt19937 rng(20261206);
    const auto pick = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
    };
    // Texts sharing long prefixes, differing past eight bytes, holding NUL
    // and non-ASCII bytes, and empty; copies of one text at other places.
    const std::vector<std::string> texts = {"",
                                            "/Users/alice/a",
                                            "/Users/alice/b",
                                            "/Users/alice/",
                                            "/Users/alice",
                                            "/Users/é",
                                            "/Users/z",
                                            std::string("/a\0b", 4),
                                            std::string("/a\0", 3),
                                            "/a",
                                            "ES_EVENT_TYPE_A",
                                            "ES_EVENT_TYPE_B",
                                            "\xff"};
    std::vector<std::string> copies = texts;
    const std::vector<std::string> stamps = {"1765000000",
                                             "1765000000.5",
                                             "2025-12-06T05:46:40.5Z",
                                             "2025-12-06T06:46:40+01:00",
                                             "0",
                                             "later",
                                             "",
                                             "-5",
                                             "1765000000.000000001"};
    // Integer facts of both signs and none; text facts sharing prefixes.
    const std::vector<const char*> facts = {
        nullptr,
        encodedFacts({{Fact::uid, "501"}, {Fact::args, "ls -l"}, {Fact::pidversion, "-2"}}),
        encodedFacts({{Fact::uid, "0"}, {Fact::args, "ls"}, {Fact::responsible_pid, "7"}}),
        encodedFacts({{Fact::uid, "501"}, {Fact::signing_id, "com.apple.ls"}}),
        encodedFacts({{Fact::summary, "\xc3\xa9"}, {Fact::pidversion, "9223372036854775807"}}),
    };
    for (int round = 0; round < 30; ++round) {
        std::vector<RowView> rows(round == 0 ? 0 : 1 + pick(200));
        for (RowView& r : rows) {
            r.kind = pick(3) != 0   ? RowKind::process
                     : pick(2) == 0 ? RowKind::other
                                    : RowKind::file;
            const bool copy = pick(2) == 0;
            r.path = copy ? copies[pick(copies.size())] : texts[pick(texts.size())];
            r.type = texts[pick(texts.size())];
            r.timestamp = stamps[pick(stamps.size())];
            r.time = parseTimeValue(r.timestamp).value_or(kNoTimeValue);
            // Few distinct numbers, so that many rows tie; both signs.
            r.pid = static_cast<std::int64_t>(pick(7)) - 3;
            r.ppid = pick(2) ? INT64_MIN + static_cast<std::int64_t>(pick(3)) : INT64_MAX;
            r.facts = RowFacts(facts[pick(facts.size())]);
        }
        for (FieldId field : everyField()) {
            for (const bool descending : {false, true}) {
                SCOPED_TRACE(std::string(rowField(field).name) + (descending ? " descending" : ""));
                const auto keys =
                    sortKeys(field, rows.size(), [&](std::size_t i) { return rows[i]; });
                ASSERT_EQ(sortedOrder(keys, sortKindOf(field), descending),
                          referenceOrder(rows, field, descending));
            }
        }
    }
}

struct FieldCase {
    const char* name;
    RowView row;
    const char* text;  // as a CSV export writes it
    bool empty;        // sorts last
};

// The CSV record of `row` with the one field `field`.
std::string csvRecord(FieldId field, const RowView& row) {
    std::FILE* file = std::tmpfile();
    bool given = false;
    writeRows(fileno(file), "temporary", ExportFormat::csv,
              [&](ExportRow& out) {
                  out = {row, {}, {}};
                  return !std::exchange(given, true);
              },
              {field});
    std::string text(4096, '\0');
    text.resize(::pread(fileno(file), text.data(), text.size(), 0));
    std::fclose(file);
    const std::size_t header = text.find('\n') + 1;
    return text.substr(header, text.size() - header - 1);
}

// Each field's text and whether it sorts last. (The kinds of process and
// file rows and a negative pid, as CSV writes them, are the export's table;
// a leading "-" for a descending sort is the CLI's sort checks'.)
TEST(RowFields, TextsAndEmptyValues) {
    const std::int64_t t = 1'765'000'000'000'000'100;
    const RowFacts facts(encodedFacts({{Fact::uid, "-7"}, {Fact::args, "a,b"}}));
    // clang-format off
    const FieldCase cases[] = {
        {"kind", {RowKind::other, "T", "x", "/p", 5, 6, {}, t}, "other", false},
        {"ppid", {RowKind::process, "T", "x", "/p", 5, -6, {}, t}, "-6", false},
        {"ppid", {RowKind::other, "T", "x", "/p", 5, 6, {}, t}, "6", false},
        {"path", {RowKind::file, "T", "x", "", -5, 6, {}, t}, "", true},
        {"timestamp", {RowKind::file, "T", "1765000000.0000001", "", -5, 6, {}, t}, "1765000000.0000001", false},
        {"timestamp", {RowKind::file, "T", "soon", "", -5, 6, {}, kNoTimeValue}, "soon", true},
        {"utc", {RowKind::file, "T", "1765000000.0000001", "", -5, 6, {}, t}, "2025-12-06T05:46:40.000000100Z", false},
        {"utc", {RowKind::file, "T", "", "", -5, 6, {}, 0}, "1970-01-01T00:00:00.000000000Z", false},
        {"utc", {RowKind::file, "T", "soon", "", -5, 6, {}, kNoTimeValue}, "", true},
        {"uid", {RowKind::process, "T", "x", "/p", 5, 6, facts, t}, "-7", false},
        {"uid", {RowKind::process, "T", "x", "/p", 5, 6, {}, t}, "", true},
        {"args", {RowKind::process, "T", "x", "/p", 5, 6, facts, t}, "\"a,b\"", false},
        {"cwd", {RowKind::process, "T", "x", "/p", 5, 6, facts, t}, "", true},
    };
    // clang-format on
    for (const FieldCase& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.text);
        const auto sort = parseRowSort(c.name);
        ASSERT_TRUE(sort);
        EXPECT_EQ(csvRecord(sort->field, c.row), c.text);
        EXPECT_EQ(sortKeyOf(sort->field, c.row).empty, c.empty);
    }
    for (const char* bad : {"size", "PID", "--pid", "-", "", "pid,path"}) {
        EXPECT_FALSE(parseRowSort(bad)) << bad;
    }
}

// The table of fields stays usable as fields are added: names and filter
// keys name one field each (a filter key is not one of the keys of their
// own either), and every kind has a column that fills its row.
TEST(RowFields, NamesAndKeysAreUnique) {
    std::set<std::string> names;
    std::set<std::string> keys = {"tree", "json", "after", "before"};
    for (const RowField& field : rowFields()) {
        EXPECT_TRUE(names.insert(std::string(field.name)).second) << field.name;
        const std::string key(filterKeyOf(field));
        EXPECT_TRUE(key.empty() || keys.insert(key).second) << key;
        EXPECT_EQ(fieldNamed(field.name), field.id);
        EXPECT_EQ((field.shown & ~field.columns), 0) << field.name;  // shown only if offered
        EXPECT_NE(field.read, nullptr) << field.name;
        EXPECT_EQ(field.filter == FilterAs::own, field.holds != nullptr) << field.name;
        EXPECT_EQ(field.filter == FilterAs::atLeast, field.rankNamed != nullptr) << field.name;
    }
    for (const RowKind kind : kRowKinds) {
        EXPECT_TRUE(std::any_of(rowFields().begin(), rowFields().end(),
                                [&](const RowField& f) { return contains(f.shown, kind); }));
    }
}

}  // namespace
}  // namespace korvantis

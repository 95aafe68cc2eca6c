#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "ingest/time_value.h"
#include "query/row_fields.h"
#include "query/row_sort.h"

namespace korvantis {
namespace {

// The plain reference: a stable sort of the rows with a value, by value
// (descending: the comparison turned round, not the result reversed), then
// the rows without one in load order.
std::vector<std::uint32_t> referenceOrder(const std::vector<FilterRow>& rows, const RowField& field,
                                          bool descending) {
    std::vector<std::uint32_t> valued;
    std::vector<std::uint32_t> empty;
    for (std::uint32_t i = 0; i < rows.size(); ++i) {
        (field.key(rows[i]).empty ? empty : valued).push_back(i);
    }
    const auto less = [&](std::uint32_t a, std::uint32_t b) {
        const SortKey x = field.key(rows[a]);
        const SortKey y = field.key(rows[b]);
        if (field.kind == SortKind::text) {
            // Bytes compared as unsigned, as UTF-8 orders code points.
            return std::lexicographical_compare(
                x.text.begin(), x.text.end(), y.text.begin(), y.text.end(), [](char c, char d) {
                    return static_cast<unsigned char>(c) < static_cast<unsigned char>(d);
                });
        }
        return x.number < y.number;
    };
    std::stable_sort(valued.begin(), valued.end(), [&](std::uint32_t a, std::uint32_t b) {
        return descending ? less(b, a) : less(a, b);
    });
    valued.insert(valued.end(), empty.begin(), empty.end());
    return valued;
}

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
    for (int round = 0; round < 30; ++round) {
        std::vector<FilterRow> rows(round == 0 ? 0 : 1 + pick(200));
        for (FilterRow& r : rows) {
            r.isProcess = pick(3) != 0;
            const bool copy = pick(2) == 0;
            r.path = copy ? copies[pick(copies.size())] : texts[pick(texts.size())];
            r.type = texts[pick(texts.size())];
            r.timestamp = stamps[pick(stamps.size())];
            r.time = parseTimeValue(r.timestamp).value_or(kNoTimeValue);
            // Few distinct numbers, so that many rows tie; both signs.
            r.pid = static_cast<std::int64_t>(pick(7)) - 3;
            r.ppid = pick(2) ? INT64_MIN + static_cast<std::int64_t>(pick(3)) : INT64_MAX;
        }
        for (const RowField& field : rowFields()) {
            for (const bool descending : {false, true}) {
                SCOPED_TRACE(std::string(field.name) + (descending ? " descending" : ""));
                const auto keys =
                    sortKeys(field, rows.size(), [&](std::size_t i) { return rows[i]; });
                ASSERT_EQ(sortedOrder(keys, field.kind, descending),
                          referenceOrder(rows, field, descending));
            }
        }
    }
}

struct FieldCase {
    const char* name;
    FilterRow row;
    const char* text;  // as an export writes it
    bool empty;        // sorts last
};

TEST(RowFields, TextsAndEmptyValues) {
    const std::int64_t t = 1'765'000'000'000'000'100;
    const FieldCase cases[] = {
        {"kind", {true, "T", "x", "/p", 5, 6, t}, "process", false},
        {"kind", {false, "T", "x", "/p", 5, 6, t}, "file", false},
        {"ppid", {true, "T", "x", "/p", 5, -6, t}, "-6", false},
        {"ppid", {false, "T", "x", "/p", 5, 6, t}, "", true},
        {"pid", {false, "T", "x", "/p", -5, 6, t}, "-5", false},
        {"path", {false, "T", "x", "", -5, 6, t}, "", true},
        {"timestamp",
         {false, "T", "1765000000.0000001", "", -5, 6, t},
         "1765000000.0000001",
         false},
        {"timestamp", {false, "T", "soon", "", -5, 6}, "soon", true},
        {"utc",
         {false, "T", "1765000000.0000001", "", -5, 6, t},
         "2025-12-06T05:46:40.000000100Z",
         false},
        {"utc", {false, "T", "", "", -5, 6, 0}, "1970-01-01T00:00:00.000000000Z", false},
        {"utc", {false, "T", "soon", "", -5, 6}, "", true},
    };
    for (const FieldCase& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.text);
        const RowField* field = rowFieldNamed(c.name);
        ASSERT_NE(field, nullptr);
        std::string out;
        field->append(out, c.row);
        EXPECT_EQ(out, c.text);
        EXPECT_EQ(field->key(c.row).empty, c.empty);
    }
    EXPECT_EQ(rowFieldNamed("size"), nullptr);
    EXPECT_EQ(rowFieldNamed("PID"), nullptr);
    const auto descending = parseRowSort("-utc");
    ASSERT_TRUE(descending);
    EXPECT_TRUE(descending->descending);
    EXPECT_EQ(descending->field->name, "utc");
    EXPECT_FALSE(parseRowSort("--pid"));
    EXPECT_FALSE(parseRowSort("-"));
}

}  // namespace
}  // namespace korvantis

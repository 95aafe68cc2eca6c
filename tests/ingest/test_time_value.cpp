#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>

#include "ingest/time_value.h"

namespace korvantis {
namespace {

constexpr std::int64_t kSecond = 1'000'000'000;
constexpr std::int64_t kLimit = 9214646400 * kSecond;  // 2262-01-01T00:00:00Z
constexpr std::int64_t k20260812 = 1786492800;         // 2026-08-12T00:00:00Z
const std::nullopt_t none = std::nullopt;

struct Case {
    std::string text;
    std::optional<std::int64_t> want;
};

// Texts read the same way by both parsers: epoch seconds and full instants.
const Case kShared[] = {
    {"0", 0},
    {"1765000000.000100", 1765000000 * kSecond + 100'000},
    {"1765000000.1", 1765000000 * kSecond + 100'000'000},
    // The usual ten digits and six, at their bounds and with one stray byte.
    {"0000000000.000000", 0},
    {"9214646399.999999", kLimit - 1000},
    {"9214646400.000000", none},
    {"17650000/0.000100", none},
    {"1765000000.00010:", none},
    {"1765000000:000100", none},
    {"000000000001.123456789", kSecond + 123'456'789},
    {"9214646399.999999999", kLimit - 1},
    {"9214646400", none},
    {"999999999999", none},
    {"1234567890123", none},
    {"1765000000.1234567890", none},
    {"1765000000.", none},
    {".5", none},
    {"", none},
    {" 1", none},
    {"1 ", none},
    {"1\n", none},
    {"-1", none},
    {"+1", none},
    {"1e9", none},
    {"2026-08-12T15:28:33.510893468Z", (k20260812 + 55713) * kSecond + 510'893'468},
    {"2026-08-12T15:28:33Z", (k20260812 + 55713) * kSecond},
    {"2026-08-12T17:28:33+02:00", (k20260812 + 55713) * kSecond},
    {"2026-08-12T00:00:00-23:59", (k20260812 + 86340) * kSecond},
    {"1970-01-01T00:00:00Z", 0},
    {"1970-01-01T01:00:00+01:00", 0},
    {"1970-01-01T00:30:00+01:00", none},
    {"1969-12-31T23:59:59.999999999Z", none},
    {"2261-12-31T23:59:59.999999999Z", kLimit - 1},
    {"2262-01-01T00:00:00Z", none},
    {"2262-01-01T01:00:00+02:00", kLimit - 3600 * kSecond},
    {"2024-02-29T00:00:00Z", 1709164800 * kSecond},
    {"2000-02-29T12:00:00Z", 951825600 * kSecond},
    {"2023-02-29T00:00:00Z", none},
    {"2100-02-29T00:00:00Z", none},
    {"2026-04-31T00:00:00Z", none},
    {"2026-13-01T00:00:00Z", none},
    {"2026-00-01T00:00:00Z", none},
    {"2026-08-00T00:00:00Z", none},
    {"2026-08-12T24:00:00Z", none},
    {"2026-08-12T23:60:00Z", none},
    {"2026-08-12T23:59:60Z", none},
    {"2026-08-12T00:00:00+24:00", none},
    {"2026-08-12T00:00:00+00:60", none},
    {"2026-08-12T00:00:00+0000", none},
    {"2026-08-12t00:00:00Z", none},
    {"2026-08-12T00:00:00z", none},
    {"2026-08-12 00:00:00Z", none},
    {"2026-08-12T00:00:00.Z", none},
    {"2026-08-12T00:00:00.1234567890Z", none},
    {"2026-08-12T00:00:00Z ", none},
    {"26-08-12T00:00:00Z", none},
    {"2026-8-12T00:00:00Z", none},
};

TEST(TimeValue, RowTimestamps) {
    for (const Case& c : kShared) {
        EXPECT_EQ(parseTimeValue(c.text), c.want) << c.text;
    }
    // A row's instant always has its seconds and its zone.
    for (const char* text : {"2026-08-12", "2026-08-12T15:28", "2026-08-12T15:28Z",
                             "2026-08-12T15:28:33", "2026-08-12T15:28:33.5"}) {
        EXPECT_EQ(parseTimeValue(text), none) << text;
    }
}

TEST(TimeValue, FilterBounds) {
    for (const Case& c : kShared) {
        EXPECT_EQ(parseTimeBound(c.text), c.want) << c.text;
    }
    const Case cases[] = {
        {"2026-08-12", k20260812 * kSecond},
        {"2026-08-12T15:28", (k20260812 + 55680) * kSecond},
        {"2026-08-12T15:28Z", (k20260812 + 55680) * kSecond},
        {"2026-08-12T15:28+01:00", (k20260812 + 55680 - 3600) * kSecond},
        {"2026-08-12T15:28:33", (k20260812 + 55713) * kSecond},
        {"2026-08-12T15:28:33.25", (k20260812 + 55713) * kSecond + 250'000'000},
        {"1970-01-01", 0},
        {"2261-12-31", (9214646400 - 86400) * kSecond},
        {"2262-01-01", none},
        {"1969-12-31", none},
        {"2026-02-29", none},
        {"2026-08-12Z", none},
        {"2026-08-12T", none},
        {"2026-08-12T15", none},
        {"2026-08-12T15:28.5", none},
        {"2026-08-12T15:28:3", none},
        {"2026-08-12T15:28:33.", none},
        {"2026-08-12T15:28:33+01", none},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseTimeBound(c.text), c.want) << c.text;
    }
}

TEST(TimeValue, UtcTextReadsBackAsTheSameValue) {
    EXPECT_EQ(formatUtc(0), "1970-01-01T00:00:00.000000000Z");
    EXPECT_EQ(formatUtc(kLimit - 1), "2261-12-31T23:59:59.999999999Z");
    EXPECT_EQ(formatUtc(1709164800 * kSecond + 5), "2024-02-29T00:00:00.000000005Z");
    std::mt19937_64 random(7);
    std::uniform_int_distribution<std::int64_t> values(0, kLimit - 1);
    for (int i = 0; i < 20000; ++i) {
        const std::int64_t v = values(random);
        ASSERT_EQ(parseTimeValue(formatUtc(v)), v) << formatUtc(v);
    }
}

}  // namespace
}  // namespace korvantis

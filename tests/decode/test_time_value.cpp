#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "decode/time_value.h"

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
    // The usual ten digits and six at their bounds; more digits of either.
    {"0000000000.000000", 0},
    {"9214646399.999999", kLimit - 1000},
    {"000000000001.123456789", kSecond + 123'456'789},
    {"9214646399.999999999", kLimit - 1},
    {"2026-08-12T15:28:33.510893468Z", (k20260812 + 55713) * kSecond + 510'893'468},
    {"2026-08-12T15:28:33Z", (k20260812 + 55713) * kSecond},
    {"2026-08-12T17:28:33+02:00", (k20260812 + 55713) * kSecond},
    {"2026-08-12T00:00:00-23:59", (k20260812 + 86340) * kSecond},
    {"1970-01-01T00:00:00Z", 0},
    {"1970-01-01T01:00:00+01:00", 0},
    {"2261-12-31T23:59:59.999999999Z", kLimit - 1},
    {"2262-01-01T01:00:00+02:00", kLimit - 3600 * kSecond},
    {"2024-02-29T00:00:00Z", 1709164800 * kSecond},
    {"2000-02-29T12:00:00Z", 951825600 * kSecond},
};

template <typename Parse>
void expectRefused(Parse parse, const std::vector<std::string>& texts) {
    for (const std::string& text : texts) {
        EXPECT_EQ(parse(text), none) << text;
    }
}

// Each of kShared, and the texts both parsers refuse: past the bounds, one
// stray byte, days that do not exist, fields out of range, other spellings.
template <typename Parse>
void expectShared(Parse parse) {
    for (const Case& c : kShared) {
        EXPECT_EQ(parse(c.text), c.want) << c.text;
    }
    expectRefused(
        parse, {"9214646400.000000", "17650000/0.000100", "1765000000.00010:", "1765000000:000100",
                "9214646400", "999999999999", "1234567890123", "1765000000.1234567890",
                "1765000000.", ".5", "", " 1", "1 ", "1\n", "-1", "+1", "1e9"});
    expectRefused(parse, {"1970-01-01T00:30:00+01:00", "1969-12-31T23:59:59.999999999Z",
                          "2262-01-01T00:00:00Z", "2023-02-29T00:00:00Z", "2100-02-29T00:00:00Z",
                          "2026-04-31T00:00:00Z", "2026-13-01T00:00:00Z", "2026-00-01T00:00:00Z",
                          "2026-08-00T00:00:00Z", "2026-08-12T24:00:00Z", "2026-08-12T23:60:00Z",
                          "2026-08-12T23:59:60Z"});
    expectRefused(
        parse, {"2026-08-12T00:00:00+24:00", "2026-08-12T00:00:00+00:60",
                "2026-08-12T00:00:00+0000", "2026-08-12t00:00:00Z", "2026-08-12T00:00:00z",
                "2026-08-12 00:00:00Z", "2026-08-12T00:00:00.Z", "2026-08-12T00:00:00.1234567890Z",
                "2026-08-12T00:00:00Z ", "26-08-12T00:00:00Z", "2026-8-12T00:00:00Z"});
}

TEST(TimeValue, RowTimestamps) {
    expectShared(parseTimeValue);
    // A row's instant always has its seconds and its zone.
    expectRefused(parseTimeValue, {"2026-08-12", "2026-08-12T15:28", "2026-08-12T15:28Z",
                                   "2026-08-12T15:28:33", "2026-08-12T15:28:33.5"});
}

TEST(TimeValue, FilterBounds) {
    expectShared(parseTimeBound);
    const Case cases[] = {
        {"2026-08-12", k20260812 * kSecond},
        {"2026-08-12T15:28", (k20260812 + 55680) * kSecond},
        {"2026-08-12T15:28Z", (k20260812 + 55680) * kSecond},
        {"2026-08-12T15:28+01:00", (k20260812 + 55680 - 3600) * kSecond},
        {"2026-08-12T15:28:33", (k20260812 + 55713) * kSecond},
        {"2026-08-12T15:28:33.25", (k20260812 + 55713) * kSecond + 250'000'000},
        {"1970-01-01", 0},
        {"2261-12-31", (9214646400 - 86400) * kSecond},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseTimeBound(c.text), c.want) << c.text;
    }
    expectRefused(parseTimeBound,
                  {"2262-01-01", "1969-12-31", "2026-02-29", "2026-08-12Z", "2026-08-12T",
                   "2026-08-12T15", "2026-08-12T15:28.5", "2026-08-12T15:28:3",
                   "2026-08-12T15:28:33.", "2026-08-12T15:28:33+01"});
}

// A row's timestamp of eslogger's shape takes a quick reading of its own;
// a filter bound never does. With seconds and a 'Z' the two parsers must
// agree, so the bound's reading is the reference for texts of that shape with
// digits out of range, stray bytes and fractions of 0 to 10 digits.
TEST(TimeValue, UsualShapeReadsAsTheGeneralReading) {
    std::mt19937_64 random(11);
    auto pick = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    constexpr std::string_view kStray = "0123456789/:-.TZ a\x7f";
    int accepted = 0;
    for (int i = 0; i < 200000; ++i) {
        char text[64];
        const int length =
            std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", pick(1965, 2265),
                          pick(0, 13), pick(0, 32), pick(0, 24), pick(0, 60), pick(0, 60));
        std::string usual(text, static_cast<std::size_t>(length));
        if (const int digits = pick(0, 10); digits > 0) {
            usual += '.';
            for (int d = 0; d < digits; ++d) {
                usual += static_cast<char>('0' + pick(0, 9));
            }
        }
        usual += 'Z';
        for (int stray = pick(0, 2); stray > 0; --stray) {
            usual[static_cast<std::size_t>(pick(0, static_cast<int>(usual.size()) - 1))] =
                kStray[static_cast<std::size_t>(pick(0, static_cast<int>(kStray.size()) - 1))];
        }
        if (usual[16] != ':' || usual.back() != 'Z') {
            continue;  // the bound may then read a text that a row's time refuses
        }
        const std::optional<TimeValue> value = parseTimeValue(usual);
        ASSERT_EQ(value, parseTimeBound(usual)) << usual;
        accepted += value.has_value();
    }
    EXPECT_GT(accepted, 20000);  // the table does not only hold refusals
}

TEST(TimeValue, UtcTextReadsBackAsTheSameValue) {
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

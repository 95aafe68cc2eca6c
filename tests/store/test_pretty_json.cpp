#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "ingest/json_text.h"
#include "store/pretty_json.h"

namespace korvantis {
namespace {

TEST(PrettyJson, RecordLine) {
    EXPECT_EQ(prettyPrintedJson(R"({"timestamp":"t","event":"ES_EVENT_TYPE_NOTIFY_EXEC",)"
                                R"("process":{"ppid":0,"pid":1,"path":"/bin/ls"},"extra":true})"),
              "{\n"
              "  \"event\" : \"ES_EVENT_TYPE_NOTIFY_EXEC\",\n"
              "  \"extra\" : true,\n"
              "  \"process\" : {\n"
              "    \"path\" : \"\\/bin\\/ls\",\n"
              "    \"pid\" : 1,\n"
              "    \"ppid\" : 0\n"
              "  },\n"
              "  \"timestamp\" : \"t\"\n"
              "}");
}

TEST(PrettyJson, NestedArraysAndObjects) {
    EXPECT_EQ(prettyPrintedJson(R"({"b":{"c":null,"a":[]},"a":[1,[false,{}],{"z":"/","y":2}]})"),
              "{\n"
              "  \"a\" : [\n"
              "    1,\n"
              "    [\n"
              "      false,\n"
              "      {}\n"
              "    ],\n"
              "    {\n"
              "      \"y\" : 2,\n"
              "      \"z\" : \"\\/\"\n"
              "    }\n"
              "  ],\n"
              "  \"b\" : {\n"
              "    \"a\" : [],\n"
              "    \"c\" : null\n"
              "  }\n"
              "}");
    EXPECT_EQ(prettyPrintedJson("[]"), "[]");
    EXPECT_EQ(prettyPrintedJson(" {} \n"), "{}");
    EXPECT_EQ(prettyPrintedJson(R"([[["x"]]])"), "[\n  [\n    [\n      \"x\"\n    ]\n  ]\n]");
}

TEST(PrettyJson, StringsAndKeysAreEscaped) {
    EXPECT_EQ(prettyPrintedJson(R"({"a/b":"q\"b\\s\/\n\t\u0001\u00e9\u20ac"})"),
              "{\n  \"a\\/b\" : \"q\\\"b\\\\s\\/\\n\\t\\u0001\xc3\xa9\xe2\x82\xac\"\n}");
}

TEST(PrettyJson, KeysSortedByBytesAndLastDuplicateWins) {
    EXPECT_EQ(prettyPrintedJson(R"({"b":1,"\u00e9":2,"B":3,"_":4,"a":5,"b":6})"),
              "{\n  \"B\" : 3,\n  \"_\" : 4,\n  \"a\" : 5,\n  \"b\" : 6,\n  \"\xc3\xa9\" : 2\n}");
}

TEST(PrettyJson, NumbersFromTheirValues) {
    EXPECT_EQ(
        prettyPrintedJson(
            R"([1e2,1.0,-0.0,1.5,0.1,-3,1E300,18446744073709551615,-9223372036854775808,2.5e-7])"),
        "[\n  100,\n  1,\n  -0,\n  1.5,\n  0.1,\n  -3,\n  1e+300,\n"
        "  18446744073709551615,\n  -9223372036854775808,\n  2.5e-07\n]");
}

TEST(PrettyJson, UnparsableInputIsReturnedUnchanged) {
    for (const std::string& bad : {
             std::string(""),
             std::string("not json"),
             std::string(R"({"a":)"),
             std::string(R"({"a":1} x)"),
             std::string(R"({"a":1,})"),
             std::string("{\"a\":\"\xff\"}"),
             std::string(R"({"a":1e999})"),
             std::string("{\"a\":\"x\ny\"}\r"),
         }) {
        EXPECT_EQ(prettyPrintedJson(bad), bad);
    }
}

TEST(PrettyJson, TopLevelScalarsAreReturnedUnchanged) {
    for (const char* s : {"5", " 5", R"("a/b")", "true", "null"}) {
        EXPECT_EQ(prettyPrintedJson(s), s);
    }
}

TEST(PrettyJson, DeepNesting) {
    // Deeper than the parser accepts: returned as it was, no crash.
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    EXPECT_EQ(prettyPrintedJson(deep), deep);
    // Within the limit: printed in full.
    constexpr int kDepth = 500;
    std::string text;
    for (int i = 0; i < kDepth; ++i) {
        text += R"({"k":)";
    }
    text += "0";
    text += std::string(kDepth, '}');
    const std::string out = prettyPrintedJson(text);
    ASSERT_NE(out, text);
    EXPECT_EQ(out.substr(out.size() - 2), "\n}");
    EXPECT_NE(out.find("\n" + std::string(2 * kDepth, ' ') + "\"k\" : 0\n"), std::string::npos);
}

// A random JSON value as raw text (keys in random order, slashes sometimes
// escaped) and as the compact text the printer must amount to once its
// layout whitespace is taken out (keys sorted, every slash escaped).
void randomValue(std::mt19937& rng, int depth, std::string& raw, std::string& canonical) {
    static const std::vector<std::string> kStrings = {"",     "a/b", "q\"",  "back\\", "\xc3\xa9",
                                                      "l\nf", "/",   "t\tx", "\x01"};
    switch (depth > 3 ? rng() % 4 : rng() % 6) {
        case 0: {
            const auto n = static_cast<long long>(rng()) - (1ll << 31);
            raw += std::to_string(n);
            canonical += std::to_string(n);
            break;
        }
        case 1: {
            const std::string& t = kStrings[rng() % kStrings.size()];
            appendJsonString(raw, t, rng() % 2 == 0);
            appendJsonString(canonical, t, true);
            break;
        }
        case 2:
            raw += "true";
            canonical += "true";
            break;
        case 3:
            raw += "null";
            canonical += "null";
            break;
        case 4: {
            raw += "[";
            canonical += "[";
            const int n = static_cast<int>(rng() % 4);
            for (int i = 0; i < n; ++i) {
                raw += i ? " , " : "";
                canonical += i ? "," : "";
                randomValue(rng, depth + 1, raw, canonical);
            }
            raw += "]";
            canonical += "]";
            break;
        }
        default: {
            std::vector<std::string> keys = {"b", "a/", "B", "\xc3\xa9", "aa", "_"};
            std::shuffle(keys.begin(), keys.end(), rng);
            keys.resize(rng() % keys.size());
            std::vector<std::pair<std::string, std::pair<std::string, std::string>>> members;
            for (const auto& k : keys) {
                std::string r, c;
                randomValue(rng, depth + 1, r, c);
                members.push_back({k, {r, c}});
            }
            raw += "{";
            for (std::size_t i = 0; i < members.size(); ++i) {
                raw += i ? ",\n" : "";
                appendJsonString(raw, members[i].first, false);
                raw += ":" + members[i].second.first;
            }
            raw += "}";
            std::sort(members.begin(), members.end());
            canonical += "{";
            for (std::size_t i = 0; i < members.size(); ++i) {
                canonical += i ? "," : "";
                appendJsonString(canonical, members[i].first, true);
                canonical += ":" + members[i].second.second;
            }
            canonical += "}";
        }
    }
}

std::string withoutLayout(const std::string& pretty) {
    std::string out;
    bool inString = false;
    bool escaped = false;
    for (char c : pretty) {
        if (inString) {
            inString = escaped || c != '"';
            escaped = !escaped && c == '\\';
        } else if (c == '"') {
            inString = true;
        } else if (c == ' ' || c == '\n') {
            continue;
        }
        out.push_back(c);
    }
    return out;
}

TEST(PrettyJson, RandomDocumentsKeepTheirContent) {
    std::mt19937 rng(5);
    for (int i = 0; i < 2000; ++i) {
        std::string raw = "{\"k\":";
        std::string canonical = raw;
        randomValue(rng, 0, raw, canonical);
        raw += "}";
        canonical += "}";
        const std::string pretty = prettyPrintedJson(raw);
        ASSERT_EQ(withoutLayout(pretty), canonical) << raw;
        ASSERT_EQ(prettyPrintedJson(pretty), pretty) << raw;  // the output reads back the same
    }
}

}  // namespace
}  // namespace korvantis

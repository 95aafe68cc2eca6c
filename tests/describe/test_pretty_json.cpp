#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "describe/event_detail.h"
#include "describe/pretty_json.h"

namespace korvantis {
namespace {

TEST(PrettyJson, ExactFormat) {
    struct Case {
        std::string input, expected;
    };
    const std::vector<Case> cases = {
        {R"({"timestamp":"t","event":"ES_EVENT_TYPE_NOTIFY_EXEC",)"
         R"("process":{"ppid":0,"pid":1,"path":"/bin/ls"},"extra":true})",
         "{\n  \"event\" : \"ES_EVENT_TYPE_NOTIFY_EXEC\",\n  \"extra\" : true,\n"
         "  \"process\" : {\n    \"path\" : \"\\/bin\\/ls\",\n    \"pid\" : 1,\n"
         "    \"ppid\" : 0\n  },\n  \"timestamp\" : \"t\"\n}"},
        {R"({"b":{"c":null,"a":[]},"a":[1,[false,{}],{"z":"/","y":2}]})",
         "{\n  \"a\" : [\n    1,\n    [\n      false,\n      {}\n    ],\n    {\n"
         "      \"y\" : 2,\n      \"z\" : \"\\/\"\n    }\n  ],\n"
         "  \"b\" : {\n    \"a\" : [],\n    \"c\" : null\n  }\n}"},
        {" {} \n", "{}"},
        // Escapes, keys included.
        {R"({"a/b":"q\"b\\s\/\n\t\u0001\u00e9\u20ac"})",
         "{\n  \"a\\/b\" : \"q\\\"b\\\\s\\/\\n\\t\\u0001\xc3\xa9\xe2\x82\xac\"\n}"},
        // Keys sorted by bytes; every member of a repeated key kept, in
        // written order.
        {R"({"b":1,"\u00e9":2,"B":3,"_":4,"a":5,"b":6})",
         "{\n  \"B\" : 3,\n  \"_\" : 4,\n  \"a\" : 5,\n  \"b\" : 1,\n  \"b\" : 6,\n"
         "  \"\xc3\xa9\" : 2\n}"},
        // Numbers written from their values.
        {R"([1e2,1.0,-0.0,1.5,0.1,-3,1E300,18446744073709551615,-9223372036854775808,2.5e-7])",
         "[\n  100,\n  1,\n  -0,\n  1.5,\n  0.1,\n  -3,\n  1e+300,\n"
         "  18446744073709551615,\n  -9223372036854775808,\n  2.5e-07\n]"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(prettyPrintedJson(c.input), c.expected) << c.input;
    }
}

TEST(PrettyJson, RepeatedKeysAreNamedInWrittenOrder) {
    struct Case {
        std::string input, notice;
    };
    const std::string eight = R"({"a":1,"a":1,"b":1,"b":1,"c":1,"c":1,"d":1,"d":1,)"
                              R"("e":1,"e":1,"f":1,"f":1,"g":1,"g":1,"h":1,"h":1,"i":1,"i":1,)"
                              R"("j":1,"j":1})";
    const std::vector<Case> cases = {
        {R"({"process":{"pid":3,"path":"/usr/bin/benign","path":"/tmp/evil","pid":666}})",
         "This line repeats keys (process.pid, process.path); the lists use the first of each."},
        // Once per key however often it repeats; paths through arrays; the
        // objects in the order they are written out.
        {R"({"z":{"k":1,"k":2,"k":3},"a":[{"x":0},{"y":1,"y":2}],"event":{"exec":{"t":1,"t":2}}})",
         "This line repeats keys (a[1].y, event.exec.t, z.k); the lists use the first of each."},
        {eight,
         "This line repeats keys (a, b, c, d, e, f, g, h and 2 more); the lists use the "
         "first of each."},
        {R"({"a":{"x":1},"b":{"x":1}})", ""},
        {R"({"a":1,"a":)", ""},
        {"[1,1]", ""},
    };
    for (const Case& c : cases) {
        const ReadableJson readable = readableJson(c.input);
        EXPECT_EQ(repeatedKeysNotice(readable), c.notice) << c.input;
        EXPECT_EQ(readableLine(c.input).text, readable.text) << c.input;
    }
    // A very long key is named by its start.
    const std::string key(500, 'k');
    const std::string notice =
        repeatedKeysNotice(readableJson("{\"" + key + "\":1,\"" + key + "\":2}"));
    EXPECT_NE(notice.find(key.substr(0, 100)), std::string::npos);
    EXPECT_LT(notice.size(), 200u);
}

TEST(PrettyJson, UnparsableInputAndTopLevelScalarsAreReturnedUnchanged) {
    for (const std::string bad :
         {"", "not json", R"({"a":)", R"({"a":1} x)", R"({"a":1,})", "{\"a\":\"\xff\"}",
          R"({"a":1e999})", "{\"a\":\"x\ny\"}\r", "5", " 5", R"("a/b")", "true", "null"}) {
        EXPECT_EQ(prettyPrintedJson(bad), bad);
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
    text += "0" + std::string(kDepth, '}');
    const std::string out = prettyPrintedJson(text);
    EXPECT_EQ(out.substr(out.size() - 2), "\n}");
    EXPECT_NE(out.find("\n" + std::string(2 * kDepth, ' ') + "\"k\" : 0\n"), std::string::npos);
}

}  // namespace
}  // namespace korvantis

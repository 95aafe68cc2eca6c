#include <gtest/gtest.h>

#include <simdjson.h>

#include <string>

#include "decode/other_event_summary.h"

namespace korvantis {
namespace {

std::string summaryOf(std::string_view kind, const std::string& body) {
    simdjson::dom::parser parser;
    simdjson::dom::element root;
    EXPECT_FALSE(parser.parse(body).get(root)) << body;
    std::string scratch;
    return std::string(otherEventSummary(kind, root, scratch));
}

// (exit 0 and exit 11 are the CLI's other rows and the other rows' own table.)
TEST(OtherEventSummary, ExitStatusClasses) {
    const struct {
        const char* body;
        const char* want;
    } cases[] = {
        {R"({"stat":65280})", "exit 255"},
        {R"({"stat":9})", "signal 9"},
        {R"({"stat":139})", "signal 11 (core dumped)"},
        {R"({"stat":128})", "exit 0"},       // core bit without a signal
        {R"({"stat":4991})", "stopped 19"},  // 0x137f
        {R"({"stat":5119})", "stopped 19"},  // 0x13ff: the core bit is no signal
        {R"({"stat":-1})", "stopped 255"},   // all bits set
        {R"({"stat":-256})", "exit 255"},    // ...ff00
        {R"({"stat":-9223372036854775808})", "exit 0"},
        {R"({"stat":9223372036854775807})", "stopped 255"},
        {R"({"stat":2,"stat":0})", "signal 2"},  // the first of a repeated key
    };
    for (const auto& c : cases) {
        EXPECT_EQ(summaryOf("exit", c.body), c.want) << c.body;
    }
    // No integer status (exit reads only its status): no summary.
    for (const char* body : {R"({"stat":1.0})", R"({"stat":"0"})", R"({"stat":null})",
                             R"({"stat":9223372036854775808})", R"({})",
                             R"({"status":0,"path":"/x"})", R"([{"stat":0}])"}) {
        EXPECT_EQ(summaryOf("exit", body), "") << body;
    }
}

TEST(OtherEventSummary, FirstPathDepthFirst) {
    const struct {
        const char* body;
        const char* want;
    } cases[] = {
        {R"({"target":{"path":"/t"},"path":"/later"})", "/t"},
        {R"({"path":{"path":"/inner"},"x":{"path":"/x"}})", "/inner"},
        {R"({"path":5,"x":{"path":"/x"}})", "/x"},
        {R"({"path":null,"a":[{"b":1},{"path":"/in array"}],"path":"/second"})", "/in array"},
        {R"({"items":[[{"path":"/deep"}]],"path":"/z"})", "/deep"},
        {R"({"path":"\/esc\u00e9"})", "/esc\xC3\xA9"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(summaryOf("mmap", c.body), c.want) << c.body;
    }
    // The first path may be empty; keys are exact; the kind's body must be an object.
    for (const char* body : {R"({"path":"","x":{"path":"/x"}})", R"({"Path":"/case","PATH":"/x"})",
                             R"({"paths":["/a"]})", R"({})", R"([{"path":"/a"}])"}) {
        EXPECT_EQ(summaryOf("mmap", body), "") << body;
    }
}

}  // namespace
}  // namespace korvantis

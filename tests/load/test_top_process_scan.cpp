// The message's own process read by walking a line, against the parser's
// reading of the same line.

#include <gtest/gtest.h>

#include <simdjson.h>

#include <string>
#include <vector>

#include "decode/eslogger_process.h"
#include "load/top_process_scan.h"

namespace korvantis {
namespace {

using Outcome = TopProcessScan::Outcome;

// The parser's reading, as a load's rules take the message's process. The
// path it gives lies in the parser's document: good until the next line.
TopProcessScan parsed(const std::string& line) {
    static simdjson::dom::parser parser;
    simdjson::dom::element root, value;
    simdjson::dom::object object, process;
    TopProcessScan out;
    out.outcome = Outcome::none;
    EXPECT_FALSE(parser.parse(line).get(root)) << line;
    if (root.get_object().get(object) || object.at_key("process").get(value) ||
        value.get_object().get(process)) {
        return out;
    }
    const EsloggerProcess p(process);
    if (!p.auditToken().pid) {
        return out;
    }
    out.outcome = Outcome::found;
    out.pid = *p.auditToken().pid;
    if (!p.getPath(EsloggerProcess::executable, out.path)) {
        out.path = {};
    }
    return out;
}

TEST(TopProcessScan, ReadsWhatTheParserReads) {
    const std::string token = R"("audit_token":{"euid":0,"pid":7})";
    const std::string exe = R"("executable":{"path":"/bin/sh"})";
    struct Case {
        std::string line;
        Outcome want;  // unsure: left to the parser
    };
    const std::vector<Case> cases = {
        {R"({"process":{)" + token + "," + exe + "}}", Outcome::found},
        {R"({"event":{"process":{"audit_token":{"pid":9}}},"process":{)" + exe + "," + token + "}}",
         Outcome::found},
        {R"( { "time" : "a\"}{[" , "process" : { "executable" : { "stat" : {"x":[1,{"path":"/no"}]} , "path" : "/p" } , )" +
             token + " } } ",
         Outcome::found},
        {R"({"process":1,"process":{)" + token + "}}", Outcome::none},
        {R"({"pro\u0063ess":{)" + token + "}}", Outcome::found},
        {R"({"process":{"audit_token":{"pid":1},"audit_token":{"pid":2},)" + exe + "}}",
         Outcome::found},
        {R"({"process":{"audit_token":[0,501,0,0,0,42,0,3],)" + exe + "}}", Outcome::found},
        {R"({"process":{"audit_token":[0,501,0,0,0,42,0],)" + exe + "}}", Outcome::none},
        {R"({"process":{"audit_token":{"pid":"7"},)" + exe + "}}", Outcome::none},
        {R"({"process":{"audit_token":{"pid":-12},)" + exe + "}}", Outcome::found},
        {R"({"process":{"audit_token":{"pid":7.0}}})", Outcome::unsure},
        {R"({"process":{"audit_token":{"pid":-0}}})", Outcome::unsure},
        {R"({"process":{"audit_token":{"pid":1e2}}})", Outcome::unsure},
        {R"({"process":{"audit_token":{"pid":18446744073709551615}}})", Outcome::unsure},
        {R"({"process":{"audit_token":{"pid":null}}})", Outcome::none},
        {R"({"process":{)" + token + R"(,"executable":{"path":"\/bin\/\u00e9\ud83d\ude00\t"}}})",
         Outcome::found},
        {R"({"process":{)" + token + R"(,"executable":{"path":"\udc00"}}})", Outcome::unsure},
        {R"({"process":{)" + token + R"(,"executable":{"path":["/x"],"path":"/y"}}})",
         Outcome::found},
        {R"({"process":{)" + token + R"(,"executable":"/bin/sh"}})", Outcome::found},
        {R"({"process":{)" + token + R"(,"executable":{},"executable":{"path":"/z"}}})",
         Outcome::found},
        {R"({"process":{}})", Outcome::none},
        {R"({"event":{"fork":{}}})", Outcome::none},
        {R"([{"process":{)" + token + "}}]", Outcome::unsure},
    };
    // Strings with brackets, quotes and runs of backslashes in what is
    // skipped, moved across every place in a block of bytes.
    std::vector<Case> all = cases;
    for (std::size_t pad = 0; pad < 140; ++pad) {
        all.push_back({R"({"process":{"executable":{"stat":{"s":")" + std::string(pad, 'x') +
                           R"(\\\"}]\\","t":["[{\"",{"u":"\\"}],"v":[[]]},"path":"/p"},)" + token +
                           "}}",
                       Outcome::found});
    }
    for (const Case& c : all) {
        std::string scratch;
        const TopProcessScan scan = scanTopProcess(c.line, scratch);
        EXPECT_EQ(scan.outcome, c.want) << c.line;
        if (scan.outcome == Outcome::unsure) {
            continue;
        }
        const TopProcessScan want = parsed(c.line);
        EXPECT_EQ(scan.outcome, want.outcome) << c.line;
        EXPECT_EQ(scan.pid, want.pid) << c.line;
        EXPECT_EQ(scan.path, want.path) << c.line;
    }
}

}  // namespace
}  // namespace korvantis

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "ingest/received_json.h"

namespace korvantis {
namespace {

using namespace std::string_literals;

bool accepts(std::string_view line) {
    return decodeReceivedJson(line).has_value();
}

// What a line decodes to: null parts are absent, escapes decoded, int64 range kept.
TEST(Decoder, DecodedRecords) {
    const std::nullopt_t no = std::nullopt;
    const struct {
        std::string line;
        ReceivedJson want;
    } cases[] = {
        {R"({"event":"E","timestamp":"t"})", {"E", "t", no, no, no}},
        {R"({"event":"ES_EVENT_TYPE_NOTIFY_RENAME","timestamp":"12.5","process":{"pid":5,"ppid":1,"path":"/bin/mv"},)"
         R"("fileOld":{"process":{"pid":5,"ppid":1},"destination":"/a"},"file":{"pid":9,"destination":"/b"}})",
         {"ES_EVENT_TYPE_NOTIFY_RENAME", "12.5", Process{5, 1, "/bin/mv"},
          FileOld{Process{5, 1, no}, "/a"}, File{9, "/b"}}},
        {R"({"event":"E","timestamp":"t","process":null,"fileOld":null,"file":null})",
         {"E", "t", no, no, no}},
        {R"({"\u0065vent":"E","timestamp":"t\u00e9\n","process":{"pid":1,"ppid":0,"path":"\/bin\/sh"}})",
         {"E", "t\xC3\xA9\n", Process{1, 0, "/bin/sh"}, no, no}},
        {R"({"event":"E","timestamp":"\u0000\u0001"})", {"E", "\0\x01"s, no, no, no}},
        {R"({"event":"E","timestamp":"t","process":{"pid":9223372036854775807,"ppid":-9223372036854775808,)"
         R"("path":null},"fileOld":{"process":null,"destination":"d"}})",
         {"E", "t", Process{INT64_MAX, INT64_MIN, no}, FileOld{no, "d"}, no}},
        {R"({"event":"E","timestamp":"t","file":{"pid":-0,"destination":""}})",
         {"E", "t", no, no, File{0, ""}}},
        // Numbers beyond double under ignored keys are fine; strings are left alone.
        {R"({"event":"E","timestamp":"-1e999","process":{"pid":12,"ppid":-3},"x":1e400})",
         {"E", "-1e999", Process{12, -3, no}, no, no}},
        // Duplicate keys: the first occurrence is the one read.
        {R"({"event":"E","timestamp":"t","event":5})", {"E", "t", no, no, no}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const auto r = decodeReceivedJson(c.line);
        ASSERT_TRUE(r);
        EXPECT_EQ(*r, c.want);
    }
}

TEST(Decoder, AcceptRejectTable) {
    const struct {
        std::string line;
        bool accepted;
    } cases[] = {
        // Only JSON whitespace may surround the object: no BOM, form feed, vertical tab, NUL.
        {"  {\"event\":\"E\",\"timestamp\":\"t\"}  ", true},
        {"\t{\"event\":\"E\",\"timestamp\":\"t\"}\r\n", true},
        {"\xEF\xBB\xBF{\"event\":\"E\",\"timestamp\":\"t\"}", false},
        {"{\"event\":\"E\",\"timestamp\":\"t\"}\f", false},
        {"\v{\"event\":\"E\",\"timestamp\":\"t\"}", false},
        {"{\"event\":\"E\",\"timestamp\":\"t\"}\0"s, false},
        {"\0{\"event\":\"E\",\"timestamp\":\"t\"}"s, false},
        // Keys are exact and order-free; unknown members of any shape are ignored.
        {R"({"timestamp":"t","event":"E"})", true},
        {R"({"event":"","timestamp":""})", true},
        {R"({"event":"E","timestamp":"t","Event":5,"PROCESS":7,"file_old":[]})", true},
        {R"({"event":"E","timestamp":"t","process":{"pid":1,"ppid":0,"uid":501,"args":["a",{"b":[]}]}})",
         true},
        {R"({"event":"E","timestamp":"t","fileOld":{"destination":"d"}})", true},
        {R"({"event":"E","timestamp":"t","file":{"pid":3,"destination":"/x","size":12}})", true},
        {R"({"event":"E","timestamp":"t","x":[1e400,-1E+999,-99999999999999999999999,18446744073709551615]})",
         true},
        {R"({"event":"E","timestamp":"t","process":{"pid":1,"ppid":0},"process":"x"})", true},
        {"{\"event\":\"E\xC3\xA9\",\"timestamp\":\"\xF0\x9F\x98\x80\"}", true},
        // Not one object.
        {"", false},
        {"[1,2,3]", false},
        {"{", false},
        {"{}", false},
        {R"(  "event" : "E",)", false},  // a pretty-printed object, one line at a time
        {R"({"event":"E","timestamp":"t"} x)", false},
        {R"({"event":"E","timestamp":"t","x":1e400} 1)", false},
        // Required members.
        {R"({"event":"E"})", false},
        {R"({"timestamp":"t"})", false},
        {R"({"Event":"E","timestamp":"t"})", false},
        {R"({"event":null,"timestamp":"t"})", false},
        {R"({"event":"E","timestamp":42})", false},
        {R"({"event":["E"],"timestamp":"t"})", false},
        {R"({"event":5,"timestamp":"t","event":"E"})", false},  // a bad first duplicate stays bad
        // Malformed JSON anywhere, even in ignored keys.
        {R"({"event":"E","timestamp":"t","x":tru})", false},
        {R"({"event":"E","timestamp":"t","x":[1,]})", false},
        {R"({"event":"E","timestamp":"t",})", false},
        {R"({"event":"E","timestamp":"t","x":1e400,"y":01})", false},
        {R"({"event":"E","timestamp":"t","x":1e400,"y":1.})", false},
        // Unescaped control characters, invalid UTF-8, lone surrogates.
        {"{\"event\":\"E\x01\",\"timestamp\":\"t\"}", false},
        {"{\"event\":\"E\0\",\"timestamp\":\"t\"}"s, false},
        {"{\"event\":\"\xC3\",\"timestamp\":\"t\"}", false},
        {R"({"event":"\ud800","timestamp":"t"})", false},
        // Optional parts that are present must decode fully.
        {R"({"event":"E","timestamp":"t","process":{"pid":1}})", false},
        {R"({"event":"E","timestamp":"t","process":{"ppid":1}})", false},
        {R"({"event":"E","timestamp":"t","process":{"pid":1,"ppid":0,"path":5}})", false},
        {R"({"event":"E","timestamp":"t","process":{"pid":"1","ppid":0}})", false},
        {R"({"event":"E","timestamp":"t","process":{"pid":null,"ppid":0}})", false},
        {R"({"event":"E","timestamp":"t","process":"p"})", false},
        {R"({"event":"E","timestamp":"t","process":{"pid":12.0,"ppid":0}})", false},
        {R"({"event":"E","timestamp":"t","process":{"pid":1e2,"ppid":0}})", false},
        {R"({"event":"E","timestamp":"t","process":{"pid":9223372036854775808,"ppid":0}})", false},
        {R"({"event":"E","timestamp":"t","process":{"pid":-9223372036854775809,"ppid":0}})", false},
        {R"({"event":"E","timestamp":"t","file":{"pid":1e400,"destination":"d"}})", false},
        {R"({"event":"E","timestamp":"t","file":{"pid":12}})", false},
        {R"({"event":"E","timestamp":"t","file":{"destination":"/x"}})", false},
        {R"({"event":"E","timestamp":"t","file":{"pid":12,"destination":null}})", false},
        {R"({"event":"E","timestamp":"t","fileOld":{"process":{"pid":1,"ppid":0}}})", false},
        {R"({"event":"E","timestamp":"t","fileOld":{"destination":"d","process":{"pid":1}}})",
         false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(accepts(c.line), c.accepted) << c.line;
    }
}

// Numbers too large for the parser are replaced before a second parse, so
// that ignored keys may hold any valid number. A malformed number next to one
// must not be turned into a valid one by that replacement ("--1.5" into
// "-0.0", "1-1.5" into "10.0"); any valid number, even one below -2^63, may
// stand under an ignored key.
TEST(Decoder, NumbersUnderAnIgnoredKey) {
    const std::string head = R"({"event":"E","timestamp":"t","x":)";
    for (std::string_view bad :
         {"--1.5", "1-1.5", "--123456789012345678901", "0-1e999", "50-92233720368547758082",
          "1.5.5", "1e999e1", "[1-0.5]", "1.5-"}) {
        EXPECT_FALSE(accepts(head + std::string(bad) + "}")) << bad;
    }
    for (std::string_view good :
         {"-1.5", "1e999", "-123456789012345678901", "[1,-0.5,2e-999]", "{\"a\":-1.5e+5}",
          "-9223372036854775809", "-9999999999999999999", "-9223372036854775808"}) {
        EXPECT_TRUE(accepts(head + std::string(good) + "}")) << good;
    }
}

TEST(Decoder, DepthLimitRefusesWithoutCrashing) {
    const std::string head = R"({"event":"E","timestamp":"t","x":)";
    EXPECT_FALSE(accepts(head + std::string(5000, '[') + std::string(5000, ']') + "}"));
    EXPECT_TRUE(accepts(head + std::string(100, '[') + std::string(100, ']') + "}"));
}

TEST(Decoder, ReusedDecoderKeepsNoState) {
    LineDecoder decoder;
    EXPECT_FALSE(decoder.decode(R"({"event":"E","timestamp":"t","file":{"pid":1}})"));
    auto r = decoder.decode(R"({"event":"F","timestamp":"u"})");
    ASSERT_TRUE(r);
    EXPECT_EQ(toOwned(*r), (ReceivedJson{"F", "u", std::nullopt, std::nullopt, std::nullopt}));
    // A padded line is parsed where it lies.
    std::string buffer = R"({"event":"G","timestamp":"v"})";
    const std::size_t len = buffer.size();
    buffer.append(LineDecoder::kPadding, 'x');
    r = decoder.decodePadded(buffer.data(), len);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->event, "G");
}

TEST(RecordText, ExamplesOfTheFormat) {
    ReceivedJson r{"ES_EVENT_TYPE_NOTIFY_OPEN", "t1", Process{7, 1, "/bin/cat"}, std::nullopt,
                   std::nullopt};
    EXPECT_EQ(recordText(r),
              R"(ReceivedJson(event: "ES_EVENT_TYPE_NOTIFY_OPEN", timestamp: "t1", process: )"
              R"(Optional(Korvantis.Process(pid: 7, ppid: 1, path: Optional("/bin/cat"))), )"
              R"(fileOld: nil, file: nil))");
    r.process->path.reset();
    r.process->pid = -7;
    r.fileOld = FileOld{Process{3, 2, std::nullopt}, "/old"};
    r.file = File{9, "/new"};
    EXPECT_EQ(
        recordText(r),
        R"(ReceivedJson(event: "ES_EVENT_TYPE_NOTIFY_OPEN", timestamp: "t1", process: )"
        R"(Optional(Korvantis.Process(pid: -7, ppid: 1, path: nil)), )"
        R"(fileOld: Optional(Korvantis.FileOld(process: Optional(Korvantis.Process(pid: 3, ppid: 2, path: nil)), destination: "/old")), )"
        R"(file: Optional(Korvantis.File(pid: 9, destination: "/new"))))");
}

TEST(RecordText, StringEscapes) {
    ReceivedJson r;
    r.event = "a\\b\"c'd\0e\nf\rg\th"s;
    r.timestamp = "\x01\x1f\x7f\xC2\x85 \xC3\xA9/\xF0\x9F\x98\x80";
    EXPECT_EQ(recordText(r),
              "ReceivedJson(event: \"a\\\\b\\\"c\\'d\\0e\\nf\\rg\\th\", "
              "timestamp: \"\\u{1}\\u{1f}\\u{7f}\\u{85} \xC3\xA9/\xF0\x9F\x98\x80\", "
              "process: nil, fileOld: nil, file: nil)");
}

TEST(RecordText, ViewAndOwnedAgree) {
    LineDecoder decoder;
    const auto view = decoder.decode(
        R"({"event":"W","timestamp":"t","fileOld":{"process":{"pid":1,"ppid":0,"path":"/p"},"destination":"d"}})");
    ASSERT_TRUE(view);
    EXPECT_EQ(recordText(*view), recordText(toOwned(*view)));
}

}  // namespace
}  // namespace korvantis

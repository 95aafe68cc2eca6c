#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "ingest/received_json.h"

namespace korvantis {
namespace {

constexpr std::string_view kMinimal = R"({"event":"E","timestamp":"t"})";

bool accepts(std::string_view line) {
    return decodeReceivedJson(line).has_value();
}

TEST(Decoder, MinimalLineHasNoOptionalParts) {
    const auto r = decodeReceivedJson(kMinimal);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->event, "E");
    EXPECT_EQ(r->timestamp, "t");
    EXPECT_FALSE(r->process);
    EXPECT_FALSE(r->fileOld);
    EXPECT_FALSE(r->file);
}

TEST(Decoder, FullRecord) {
    const auto r = decodeReceivedJson(
        R"({"event":"ES_EVENT_TYPE_NOTIFY_RENAME","timestamp":"12.5","process":{"pid":5,"ppid":1,"path":"/bin/mv"},)"
        R"("fileOld":{"process":{"pid":5,"ppid":1},"destination":"/a"},"file":{"pid":9,"destination":"/b"}})");
    ASSERT_TRUE(r);
    ReceivedJson want{"ES_EVENT_TYPE_NOTIFY_RENAME", "12.5", Process{5, 1, "/bin/mv"},
                      FileOld{Process{5, 1, std::nullopt}, "/a"}, File{9, "/b"}};
    EXPECT_EQ(*r, want);
}

TEST(Decoder, NullMeansAbsent) {
    auto r = decodeReceivedJson(
        R"({"event":"E","timestamp":"t","process":null,"fileOld":null,"file":null})");
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->process);
    EXPECT_FALSE(r->fileOld);
    EXPECT_FALSE(r->file);
    r = decodeReceivedJson(
        R"({"event":"E","timestamp":"t","process":{"pid":1,"ppid":0,"path":null}})");
    ASSERT_TRUE(r && r->process);
    EXPECT_FALSE(r->process->path);
    r = decodeReceivedJson(
        R"({"event":"E","timestamp":"t","fileOld":{"process":null,"destination":"d"}})");
    ASSERT_TRUE(r && r->fileOld);
    EXPECT_FALSE(r->fileOld->process);
}

TEST(Decoder, EscapesAreDecoded) {
    const auto r = decodeReceivedJson(
        R"({"event":"E","timestamp":"t\u00e9\n","process":{"pid":1,"ppid":0,"path":"\/bin\/sh"}})");
    ASSERT_TRUE(r && r->process);
    EXPECT_EQ(r->timestamp, "t\xC3\xA9\n");
    EXPECT_EQ(r->process->path, "/bin/sh");
    // An escaped key is the same key.
    EXPECT_TRUE(accepts(R"({"\u0065vent":"E","timestamp":"t"})"));
}

TEST(Decoder, IntegerRange) {
    auto r = decodeReceivedJson(
        R"({"event":"E","timestamp":"t","process":{"pid":9223372036854775807,"ppid":-9223372036854775808}})");
    ASSERT_TRUE(r && r->process);
    EXPECT_EQ(r->process->pid, INT64_MAX);
    EXPECT_EQ(r->process->ppid, INT64_MIN);
    r = decodeReceivedJson(R"({"event":"E","timestamp":"t","file":{"pid":-0,"destination":""}})");
    ASSERT_TRUE(r && r->file);
    EXPECT_EQ(r->file->pid, 0);
}

// Lines that must be accepted, each with a reason.
TEST(Decoder, AcceptTable) {
    const std::string_view lines[] = {
        R"({"event":"E","timestamp":"t"})",
        "  {\"event\":\"E\",\"timestamp\":\"t\"}  ",
        "{\"event\":\"E\",\"timestamp\":\"t\"}\r",
        "\t{\"event\":\"E\",\"timestamp\":\"t\"}\r\n",
        R"({"timestamp":"t","event":"E"})",
        R"({"event":"","timestamp":""})",
        R"({"event":"es_event_type_notify_exec","timestamp":"t"})",
        R"({"event":"E","timestamp":"t","process":{"pid":1,"ppid":0}})",
        R"({"event":"E","timestamp":"t","process":{"pid":1,"ppid":0,"uid":501,"args":["a",{"b":[]}]}})",
        R"({"event":"E","timestamp":"t","extra":{"deep":[1,2.5,true,null,"x"]}})",
        R"({"event":"E","timestamp":"t","Event":5,"PROCESS":7,"file_old":[]})",
        R"({"event":"E","timestamp":"t","fileOld":{"destination":"d"}})",
        R"({"event":"E","timestamp":"t","file":{"pid":3,"destination":"/x","size":12}})",
        R"({"event":"E","timestamp":"t","big":1e300,"neg":-1.5e-300})",
        R"({"event":"E","timestamp":"t","huge":18446744073709551615})",
        // Duplicate keys: the first occurrence is the one read.
        R"({"event":"E","timestamp":"t","event":5})",
        R"({"event":"E","timestamp":"t","process":{"pid":1,"ppid":0},"process":"x"})",
        "{\"event\":\"E\xC3\xA9\",\"timestamp\":\"\xF0\x9F\x98\x80\"}",
    };
    for (std::string_view line : lines) {
        EXPECT_TRUE(accepts(line)) << line;
    }
}

// Lines that must be refused.
TEST(Decoder, RejectTable) {
    const std::string_view lines[] = {
        "",
        "   ",
        "\r",
        "[1,2,3]",
        R"("text")",
        "42",
        "null",
        "true",
        "{",
        "{}",
        // A pretty-printed object, one line at a time.
        "}",
        R"(  "event" : "E",)",
        R"(  "timestamp" : "t")",
        R"({"event":"E"})",
        R"({"timestamp":"t"})",
        R"({"Event":"E","timestamp":"t"})",
        R"({"event":null,"timestamp":"t"})",
        R"({"event":"E","timestamp":42})",
        R"({"event":["E"],"timestamp":"t"})",
        // Only JSON whitespace may surround the object: no byte order mark,
        // form feed or vertical tab.
        "\xEF\xBB\xBF{\"event\":\"E\",\"timestamp\":\"t\"}",
        "{\"event\":\"E\",\"timestamp\":\"t\"}\f",
        "\v{\"event\":\"E\",\"timestamp\":\"t\"}",
        // Trailing garbage after the object.
        R"({"event":"E","timestamp":"t"} x)",
        R"({"event":"E","timestamp":"t"}{})",
        R"({"event":"E","timestamp":"t"},)",
        // Malformed JSON anywhere, even in ignored keys.
        R"({"event":"E","timestamp":"t","x":tru})",
        R"({"event":"E","timestamp":"t","x":[1,]})",
        R"({"event":"E","timestamp":"t",})",
        R"({"event":"E","timestamp":"t","x":01})",
        R"({'event':'E','timestamp':'t'})",
        // Optional parts that are present must decode fully.
        R"({"event":"E","timestamp":"t","process":{"pid":1}})",
        R"({"event":"E","timestamp":"t","process":{"ppid":1}})",
        R"({"event":"E","timestamp":"t","process":{"pid":1,"ppid":0,"path":5}})",
        R"({"event":"E","timestamp":"t","process":{"pid":"1","ppid":0}})",
        R"({"event":"E","timestamp":"t","process":{"pid":null,"ppid":0}})",
        R"({"event":"E","timestamp":"t","process":[]})",
        R"({"event":"E","timestamp":"t","process":"p"})",
        R"({"event":"E","timestamp":"t","process":{"pid":1.5,"ppid":0}})",
        R"({"event":"E","timestamp":"t","process":{"pid":12.0,"ppid":0}})",
        R"({"event":"E","timestamp":"t","process":{"pid":1e2,"ppid":0}})",
        R"({"event":"E","timestamp":"t","process":{"pid":9223372036854775808,"ppid":0}})",
        R"({"event":"E","timestamp":"t","process":{"pid":-9223372036854775809,"ppid":0}})",
        R"({"event":"E","timestamp":"t","process":{"pid":true,"ppid":0}})",
        R"({"event":"E","timestamp":"t","file":{"pid":"12","destination":"/x"}})",
        R"({"event":"E","timestamp":"t","file":{"pid":12}})",
        R"({"event":"E","timestamp":"t","file":{"destination":"/x"}})",
        R"({"event":"E","timestamp":"t","file":{"pid":12,"destination":null}})",
        R"({"event":"E","timestamp":"t","fileOld":{"process":{"pid":1,"ppid":0}}})",
        R"({"event":"E","timestamp":"t","fileOld":{"destination":"d","process":{"pid":1}}})",
        // A first duplicate that is wrong is not rescued by a later good one.
        R"({"event":5,"timestamp":"t","event":"E"})",
    };
    for (std::string_view line : lines) {
        EXPECT_FALSE(accepts(line)) << line;
    }
}

TEST(Decoder, RejectsControlCharactersAndBadBytes) {
    using namespace std::string_literals;
    // JSON forbids unescaped control characters inside strings.
    EXPECT_FALSE(accepts("{\"event\":\"E\x01\",\"timestamp\":\"t\"}"));
    EXPECT_FALSE(accepts("{\"event\":\"E\tX\",\"timestamp\":\"t\"}"));
    EXPECT_FALSE(accepts("{\"event\":\"E\nX\",\"timestamp\":\"t\"}"));
    EXPECT_FALSE(accepts("{\"event\":\"E\0\",\"timestamp\":\"t\"}"s));
    // A NUL byte is not whitespace, inside or after the object.
    EXPECT_FALSE(accepts("{\"event\":\"E\",\"timestamp\":\"t\"}\0"s));
    EXPECT_FALSE(accepts("\0{\"event\":\"E\",\"timestamp\":\"t\"}"s));
    // Escaped control characters are fine.
    const auto r = decodeReceivedJson(R"({"event":"E","timestamp":"\u0000\u0001"})");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->timestamp, "\0\x01"s);
    // Invalid UTF-8 and lone surrogate escapes.
    EXPECT_FALSE(accepts("{\"event\":\"\xC3\",\"timestamp\":\"t\"}"));
    EXPECT_FALSE(accepts(R"({"event":"\ud800","timestamp":"t"})"));
}

TEST(Decoder, NumbersBeyondDoubleAndInt64UnderIgnoredKeys) {
    // Any valid JSON number is fine where the record does not look.
    EXPECT_TRUE(accepts(R"({"event":"E","timestamp":"t","x":123456789012345678901234567890})"));
    EXPECT_TRUE(
        accepts(R"({"event":"E","timestamp":"t","x":[1e400,-1E+999,-99999999999999999999999]})"));
    EXPECT_TRUE(accepts(
        R"({"event":"E","timestamp":"t","process":{"pid":1,"ppid":2,"x":1e400},"s":"1e400 \" 01"})"));
    const auto r = decodeReceivedJson(
        R"({"event":"E","timestamp":"-1e999","process":{"pid":12,"ppid":-3},"x":1e400})");
    ASSERT_TRUE(r && r->process);
    EXPECT_EQ(r->timestamp, "-1e999");  // strings are left alone
    EXPECT_EQ(r->process->pid, 12);
    EXPECT_EQ(r->process->ppid, -3);
    // In a record field they still refuse, and malformed numbers stay malformed.
    EXPECT_FALSE(accepts(
        R"({"event":"E","timestamp":"t","process":{"pid":123456789012345678901234567890,"ppid":0}})"));
    EXPECT_FALSE(
        accepts(R"({"event":"E","timestamp":"t","file":{"pid":1e400,"destination":"d"}})"));
    EXPECT_FALSE(accepts(R"({"event":"E","timestamp":"t","x":1e400,"y":01})"));
    EXPECT_FALSE(accepts(R"({"event":"E","timestamp":"t","x":1e400,"y":-})"));
    EXPECT_FALSE(accepts(R"({"event":"E","timestamp":"t","x":1e400,"y":1.})"));
    EXPECT_FALSE(accepts(R"({"event":"E","timestamp":"t","x":1e400} 1)"));
}

TEST(Decoder, DepthLimitRefusesWithoutCrashing) {
    std::string deep = R"({"event":"E","timestamp":"t","x":)";
    deep += std::string(5000, '[') + std::string(5000, ']') + "}";
    EXPECT_FALSE(accepts(deep));
    std::string fine = R"({"event":"E","timestamp":"t","x":)";
    fine += std::string(100, '[') + std::string(100, ']') + "}";
    EXPECT_TRUE(accepts(fine));
}

TEST(Decoder, ReusedDecoderKeepsNoState) {
    LineDecoder decoder;
    EXPECT_FALSE(decoder.decode(R"({"event":"E","timestamp":"t","file":{"pid":1}})"));
    auto r = decoder.decode(R"({"event":"F","timestamp":"u"})");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->event, "F");
    EXPECT_FALSE(r->file);
    EXPECT_FALSE(r->process);
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
    r.fileOld = FileOld{std::nullopt, "/old"};
    r.file = File{9, "/new"};
    EXPECT_EQ(recordText(r),
              R"(ReceivedJson(event: "ES_EVENT_TYPE_NOTIFY_OPEN", timestamp: "t1", process: )"
              R"(Optional(Korvantis.Process(pid: -7, ppid: 1, path: nil)), )"
              R"(fileOld: Optional(Korvantis.FileOld(process: nil, destination: "/old")), )"
              R"(file: Optional(Korvantis.File(pid: 9, destination: "/new"))))");
    r.fileOld->process = Process{3, 2, std::nullopt};
    EXPECT_NE(
        recordText(r).find(
            R"(fileOld: Optional(Korvantis.FileOld(process: Optional(Korvantis.Process(pid: 3, ppid: 2, path: nil)), destination: "/old")))"),
        std::string::npos);
}

TEST(RecordText, StringEscapes) {
    using namespace std::string_literals;
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

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>
#include <vector>

#include "support/owned_record.h"

namespace korvantis {
namespace {

using namespace std::string_literals;

bool accepts(std::string_view line) {
    return decodeReceivedJson(line).has_value();
}

// What a line decodes to: null parts are absent, escapes decoded, int64 range
// kept. (Numbers beyond double under ignored keys are the numbers table's, an
// escaped NUL the loaded tree's.)
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
        {R"({"event":"E","timestamp":"t","process":{"pid":9223372036854775807,"ppid":-9223372036854775808,)"
         R"("path":null},"fileOld":{"process":null,"destination":"d"}})",
         {"E", "t", Process{INT64_MAX, INT64_MIN, no}, FileOld{no, "d"}, no}},
        {R"({"event":"E","timestamp":"t","file":{"pid":-0,"destination":""}})",
         {"E", "t", no, no, File{0, ""}}},
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

void expectAccepted(bool accepted, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        EXPECT_EQ(accepts(line), accepted) << line;
    }
}

TEST(Decoder, AcceptedAndRefusedLines) {
    // Keys are exact and order-free; unknown members of any shape are ignored;
    // only JSON whitespace may surround the object.
    expectAccepted(
        true,
        {"  {\"event\":\"E\",\"timestamp\":\"t\"}  ", "\t{\"event\":\"E\",\"timestamp\":\"t\"}\r\n",
         R"({"timestamp":"t","event":"E"})", R"({"event":"","timestamp":""})",
         R"({"event":"E","timestamp":"t","Event":5,"PROCESS":7,"file_old":[]})",
         R"({"event":"E","timestamp":"t","process":{"pid":1,"ppid":0,"uid":501,"args":["a",{"b":[]}]}})",
         R"({"event":"E","timestamp":"t","fileOld":{"destination":"d"}})",
         R"({"event":"E","timestamp":"t","file":{"pid":3,"destination":"/x","size":12}})",
         R"({"event":"E","timestamp":"t","x":[1e400,-1E+999,-99999999999999999999999,18446744073709551615]})",
         R"({"event":"E","timestamp":"t","process":{"pid":1,"ppid":0},"process":"x"})",
         "{\"event\":\"E\xC3\xA9\",\"timestamp\":\"\xF0\x9F\x98\x80\"}"});
    expectAccepted(
        false,
        {// No BOM, form feed, vertical tab or NUL around the object.
         "\xEF\xBB\xBF{\"event\":\"E\",\"timestamp\":\"t\"}",
         "{\"event\":\"E\",\"timestamp\":\"t\"}\f", "\v{\"event\":\"E\",\"timestamp\":\"t\"}",
         "{\"event\":\"E\",\"timestamp\":\"t\"}\0"s, "\0{\"event\":\"E\",\"timestamp\":\"t\"}"s,
         // Not one object (a pretty-printed object, one line at a time, included);
         // required members missing or mistyped, a bad first duplicate among them.
         "", "[1,2,3]", "{", "{}", R"(  "event" : "E",)", R"({"event":"E","timestamp":"t"} x)",
         R"({"event":"E","timestamp":"t","x":1e400} 1)", R"({"event":"E"})", R"({"timestamp":"t"})",
         R"({"Event":"E","timestamp":"t"})", R"({"event":null,"timestamp":"t"})",
         R"({"event":"E","timestamp":42})", R"({"event":["E"],"timestamp":"t"})",
         R"({"event":5,"timestamp":"t","event":"E"})",
         // Malformed JSON anywhere, even in ignored keys; unescaped control
         // characters, invalid UTF-8, lone surrogates.
         R"({"event":"E","timestamp":"t","x":tru})", R"({"event":"E","timestamp":"t","x":[1,]})",
         R"({"event":"E","timestamp":"t",})", R"({"event":"E","timestamp":"t","x":1e400,"y":01})",
         R"({"event":"E","timestamp":"t","x":1e400,"y":1.})",
         "{\"event\":\"E\x01\",\"timestamp\":\"t\"}", "{\"event\":\"E\0\",\"timestamp\":\"t\"}"s,
         "{\"event\":\"\xC3\",\"timestamp\":\"t\"}", R"({"event":"\ud800","timestamp":"t"})"});
    // Optional parts that are present must decode fully.
    const std::string head = R"({"event":"E","timestamp":"t",)";
    for (const std::string part :
         {R"("process":{"pid":1})", R"("process":{"ppid":1})",
          R"("process":{"pid":1,"ppid":0,"path":5})", R"("process":{"pid":"1","ppid":0})",
          R"("process":{"pid":null,"ppid":0})", R"("process":"p")",
          R"("process":{"pid":12.0,"ppid":0})", R"("process":{"pid":1e2,"ppid":0})",
          R"("process":{"pid":9223372036854775808,"ppid":0})",
          R"("process":{"pid":-9223372036854775809,"ppid":0})",
          R"("file":{"pid":1e400,"destination":"d"})", R"("file":{"pid":12})",
          R"("file":{"destination":"/x"})", R"("file":{"pid":12,"destination":null})",
          R"("fileOld":{"process":{"pid":1,"ppid":0}})",
          R"("fileOld":{"destination":"d","process":{"pid":1}})"}) {
        EXPECT_FALSE(accepts(head + part + "}")) << part;
    }
}

// Numbers too large for the parser are replaced before a second parse, so
// that ignored keys may hold any valid number. A malformed number next to one
// must not be turned into a valid one by that replacement ("--1.5" into
// "-0.0", "1-1.5" into "10.0"); any valid number, even one below -2^63, may
// stand under an ignored key.
TEST(Decoder, NumbersUnderAnIgnoredKey) {
    const auto underAnIgnoredKey = [](bool accepted, std::vector<std::string> values) {
        for (std::string& value : values) {
            value = R"({"event":"E","timestamp":"t","x":)" + value + "}";
        }
        expectAccepted(accepted, values);
    };
    underAnIgnoredKey(false, {"--1.5", "1-1.5", "--123456789012345678901", "0-1e999",
                              "50-92233720368547758082", "1.5.5", "1e999e1", "[1-0.5]", "1.5-"});
    underAnIgnoredKey(
        true, {"-1.5", "1e999", "-123456789012345678901", "[1,-0.5,2e-999]", "{\"a\":-1.5e+5}",
               "-9223372036854775809", "-9999999999999999999", "-9223372036854775808"});
    // Nesting deeper than the parser's limit is refused without a crash.
    underAnIgnoredKey(false, {std::string(5000, '[') + std::string(5000, ']')});
    underAnIgnoredKey(true, {std::string(100, '[') + std::string(100, ']')});
}

// eslogger messages: one whole es_message_t per line. `es` builds one from
// the member under "event" and the top-level process. (Each kind as eslogger
// writes it, whole, is a line of the eslogger sample: the decoder fuzz target
// starts from those lines and compares each decode with the reference's.)
constexpr std::string_view kToken = R"({"pid":7,"pidversion":2,"euid":501})";
std::string esProcess(std::string_view token = kToken) {
    return R"({"ppid":1,"audit_token":)" + std::string(token) +
           R"(,"executable":{"path":"\/bin\/zsh"},"signing_id":"com.apple.zsh"})";
}
std::string es(std::string_view event, const std::string& process = esProcess()) {
    return R"({"event_type":9,"time":"2026-08-12T15:28:33.510893468Z","process":)" + process +
           R"(,"event":{)" + std::string(event) + R"(},"thread":{"thread_id":42}})";
}
constexpr std::string_view kTime = "2026-08-12T15:28:33.510893468Z";

ReceivedJson esRecord(std::string event, std::optional<Process> process, std::optional<File> file) {
    return {"ES_EVENT_TYPE_NOTIFY_" + event, std::string(kTime), process, std::nullopt, file};
}
// Listed as an other row when its process (esProcess() by default) says who it is.
ReceivedJson esStoredOnly(std::string event, bool listed = true) {
    ReceivedJson r{"ES_EVENT_TYPE_NOTIFY_" + event, std::string(kTime), std::nullopt, std::nullopt,
                   std::nullopt};
    r.storedOnly = true;
    if (listed) {
        r.other = Process{7, 1, "/bin/zsh"};
    }
    return r;
}

void expectDecodes(const std::string& line, const std::optional<ReceivedJson>& want) {
    SCOPED_TRACE(line);
    auto r = decodeReceivedJson(line);
    ASSERT_EQ(r.has_value(), want.has_value());
    if (r) {
        r->facts = {};  // their own tests read them
        EXPECT_EQ(*r, *want) << recordText(*r);
        EXPECT_EQ(r->storedOnly, want->storedOnly);
    }
}

// Lines that decode to nothing: `events` each in a message.
void expectRefusedMessages(const std::vector<std::string>& events) {
    for (const std::string& event : events) {
        expectDecodes(es(event), std::nullopt);
    }
}

// When a line is an eslogger message, its type text, and which lines stay
// with the record rules.
TEST(EsloggerDecoder, WhatIsAMessage) {
    const std::nullopt_t no = std::nullopt;
    const struct {
        std::string line;
        std::optional<ReceivedJson> want;
    } cases[] = {
        {es(R"("exit":null)"), esStoredOnly("EXIT")},
        // The member name decides, upper-cased in ASCII only; event_type is ignored.
        {es(R"("sig_nal2":{})"), esStoredOnly("SIG_NAL2")},
        {es("\"\xC3\xA9xit\":{}"), esStoredOnly("\xC3\xA9XIT")},
        {es(R"("":{})"), esStoredOnly("")},
        // Another spelling of a kind is another kind: kept only, and typed so
        // that it never reads as the kind itself.
        {es(R"("Exec":{})"), esStoredOnly(R"(EXEC (as "Exec"))")},
        {es(R"("EXECS":{})"), esStoredOnly("EXECS")},
        {es(R"("\u0065xit":{})"), esStoredOnly("EXIT")},
        // A line the record rules accept stays a record.
        {R"({"event":"E","timestamp":"t","time":"u","process":null})",
         ReceivedJson{"E", "t", no, no, no}},
        {R"({"time":"2026-08-12T15:28:33.510893468Z","process":{},"event":{"exit":{}},"timestamp":"u"})",
         esStoredOnly("EXIT", false)},
    };
    for (const auto& c : cases) {
        expectDecodes(c.line, c.want);
    }
    // Not a message; the whole line must be JSON, ignored members included.
    expectRefusedMessages({"", R"("exit":{},"exec":{})", R"("exit":{},"exit":{})",
                           R"("exit":{"stat":tru})", R"("exit":{"stat":01})"});
    expectAccepted(
        false,
        {es(R"("exit":{})") + "x", R"({"time":"t","process":{},"event":[{"exit":{}}]})",
         R"({"time":"t","process":{},"event":null})", R"({"process":{},"event":{"exit":{}}})",
         R"({"time":5,"process":{},"event":{"exit":{}}})",
         R"({"time":null,"process":{},"event":{"exit":{}}})", R"({"time":"t","event":{"exit":{}}})",
         R"({"time":"t","process":null,"event":{"exit":{}}})",
         R"({"time":"t","process":[],"event":{"exit":{}}})",
         R"([{"time":"t","process":{},"event":{"exit":{}}}])"});
}

// The pid of a process: audit_token.pid, or element 5 of an eight-integer token.
TEST(EsloggerDecoder, PidOfAProcess) {
    // The subject of a fork, and the acting process of a file message.
    const auto expectPid = [](const std::string& token, std::optional<std::int64_t> pid) {
        const std::string subject = esProcess(token);
        expectDecodes(
            es(R"("fork":{"child":)" + subject + "}"),
            pid ? std::optional(esRecord("FORK", Process{*pid, 1, "/bin/zsh"}, {})) : std::nullopt);
        expectDecodes(es(R"("write":{"target":{"path":"\/w"}})", subject),
                      pid ? std::optional(esRecord("WRITE", {}, File{*pid, "/w"})) : std::nullopt);
    };
    expectPid(R"({"pidversion":3,"pid":-12,"pid":13})", -12);
    expectPid(R"({"pid":9223372036854775807})", INT64_MAX);
    expectPid(R"([0,0,0,0,0,-5,0,0])", -5);
    for (const std::string token :
         {R"([0,0,0,0,0,"88",0,0])", R"([501,501,20,501,20,88,100017])",
          R"([501,501,20,501,20,88,100017,4,9])", R"({"pid":9223372036854775808})",
          R"({"pid":18446744073709551616})", R"({"pid":7.0})", R"({"pid":"7"})", R"({"pid":null})",
          R"({"Pid":7})", R"("7")", "null"}) {
        expectPid(token, std::nullopt);
    }
    // A missing token.
    expectDecodes(es(R"("unlink":{"target":{"path":"\/w"}})", R"({"ppid":1})"), std::nullopt);
}

// exec and fork: the subject's pid, ppid and executable path.
TEST(EsloggerDecoder, ProcessMessages) {
    // A subject (exec's target unless `in` says otherwise) of pid 40 with `members`.
    const auto exec = [](std::string_view members, std::string_view in = R"("exec":{"target")") {
        return std::string(in) + R"(:{"audit_token":{"pid":40})" + std::string(members) + "}}";
    };
    const Process bare{40, 4, ""};
    const struct {
        std::string event;
        Process want;  // of an EXEC
    } cases[] = {
        {exec(R"(,"ppid":4)"), bare},
        {exec(R"(,"ppid":4,"executable":{"path":null})"), bare},
        {exec(R"(,"ppid":-4,"executable":{"path":""})"), Process{40, -4, ""}},
        // Where a key occurs twice, its first occurrence counts.
        {exec(R"(,"ppid":4,"ppid":"x","executable":null,"executable":{"path":"\/b"})"), bare},
    };
    for (const auto& c : cases) {
        expectDecodes(es(c.event), esRecord("EXEC", c.want, std::nullopt));
    }
    // Missing, null or of the wrong type; a subject under another member.
    expectRefusedMessages(
        {exec(R"(,"ppid":4,"executable":"\/bin\/ls")"),
         exec(R"(,"ppid":4,"executable":{"path":5})"),
         exec(R"(,"ppid":4,"executable":{"path":["\/a"]})"), exec(""), exec(R"(,"ppid":null)"),
         exec(R"(,"ppid":"4")"), exec(R"(,"ppid":4.5)"), R"("exec":{"target":{"ppid":4}})",
         R"("exec":{"target":null})", exec(R"(,"ppid":4)", R"("exec":{"child")"), R"("exec":null)",
         R"("exec":[])", exec(R"(,"ppid":4)", R"("fork":{"target")"), R"("fork":{"child":[]})"});
}

// File messages: where each kind keeps its path, and folder plus file name joined.
TEST(EsloggerDecoder, FileMessages) {
    // A rename or create of destination type `type` with `destination`.
    const auto moved = [](std::string_view kind, std::string_view type,
                          std::string_view destination) {
        return "\"" + std::string(kind) + R"(":{"destination_type":)" + std::string(type) +
               R"(,"destination":)" + std::string(destination) + "}";
    };
    const std::string existing = R"({"existing_file":{"path":"\/r"}})";
    const std::string newPath = R"({"new_path":{"dir":{"path":"\/d"},"filename":"f"}})";
    const struct {
        std::string event;  // the kind is its member's name
        std::string path;
    } cases[] = {
        {R"("unlink":{"target":{"path":""},"parent_dir":{"path":"\/"}})", ""},
        {moved("create", "1", R"({"new_path":{"dir":{"path":""},"filename":""}})"), "/"},
        {moved("create", "0", R"({"existing_file":{"path":"\/c"},"new_path":5})"), "/c"},
        {R"("link":{"target_dir":{"path":"\/"},"target_filename":"l"})", "/l"},
    };
    for (const auto& c : cases) {
        std::string kind = c.event.substr(1, c.event.find('"', 1) - 1);
        std::transform(kind.begin(), kind.end(), kind.begin(), ::toupper);
        expectDecodes(es(c.event), esRecord(kind, std::nullopt, File{7, c.path}));
    }
    // Missing, null or of the wrong type.
    expectRefusedMessages({R"("open":{"target":{"path":"\/a"}})",
                           R"("open":{"file":{"path":null}})", R"("close":{"target":{}})",
                           R"("write":{"target":"\/a"})", R"("unlink":{"target":{"path":7}})",
                           R"("unlink":null)",
                           R"("rename":{"destination":{"existing_file":{"path":"\/r"}}})",
                           moved("rename", "2", existing), moved("rename", "\"0\"", existing),
                           moved("rename", "0.0", existing), moved("rename", "0", newPath),
                           moved("create", "1", R"({"new_path":{"dir":{"path":"\/d"}}})"),
                           moved("create", "1", R"({"new_path":{"dir":null,"filename":"f"}})"),
                           moved("create", "1", "null"),
                           R"("link":{"target_dir":{"path":"\/t"},"target_filename":null})",
                           R"("link":{"target_filename":"l"})"});
}

// The record text: every part, absent or present, and the escapes of its strings.
TEST(RecordText, ExamplesOfTheFormat) {
    const std::nullopt_t no = std::nullopt;
    const struct {
        ReceivedJson record;
        std::string text;
    } cases[] = {
        {{"ES_EVENT_TYPE_NOTIFY_OPEN", "t1", Process{7, 1, "/bin/cat"}, no, no},
         R"(ReceivedJson(event: "ES_EVENT_TYPE_NOTIFY_OPEN", timestamp: "t1", process: )"
         R"(Optional(Korvantis.Process(pid: 7, ppid: 1, path: Optional("/bin/cat"))), )"
         R"(fileOld: nil, file: nil))"},
        {{"ES_EVENT_TYPE_NOTIFY_OPEN", "t1", Process{-7, 1, no}, FileOld{Process{3, 2, no}, "/old"},
          File{9, "/new"}},
         R"(ReceivedJson(event: "ES_EVENT_TYPE_NOTIFY_OPEN", timestamp: "t1", process: )"
         R"(Optional(Korvantis.Process(pid: -7, ppid: 1, path: nil)), )"
         R"(fileOld: Optional(Korvantis.FileOld(process: Optional(Korvantis.Process(pid: 3, ppid: 2, path: nil)), destination: "/old")), )"
         R"(file: Optional(Korvantis.File(pid: 9, destination: "/new"))))"},
        {{"a\\b\"c'd\0e\nf\rg\th"s, "\x01\x1f\x7f\xC2\x85 \xC3\xA9/\xF0\x9F\x98\x80", no, no, no},
         "ReceivedJson(event: \"a\\\\b\\\"c\\'d\\0e\\nf\\rg\\th\", "
         "timestamp: \"\\u{1}\\u{1f}\\u{7f}\\u{85} \xC3\xA9/\xF0\x9F\x98\x80\", "
         "process: nil, fileOld: nil, file: nil)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(recordText(c.record), c.text);
    }
}

}  // namespace
}  // namespace korvantis

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>

#include "support/owned_record.h"

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

// eslogger messages: one whole es_message_t per line. `es` builds one from
// the member under "event" and the top-level process.
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

// When a line is an eslogger message, its type text, and which lines stay
// with the record rules.
TEST(EsloggerDecoder, WhatIsAMessage) {
    const std::nullopt_t no = std::nullopt;
    const struct {
        std::string line;
        std::optional<ReceivedJson> want;
    } cases[] = {
        {es(R"("exit":{"stat":0})"), esStoredOnly("EXIT")},
        {es(R"("exit":null)"), esStoredOnly("EXIT")},
        {es(R"("mmap":{"x":[[[{"y":[]}]]],"n":1e400})"), esStoredOnly("MMAP")},
        // The member name decides, upper-cased in ASCII only; event_type is ignored.
        {es(R"("sig_nal2":{})"), esStoredOnly("SIG_NAL2")},
        {es("\"\xC3\xA9xit\":{}"), esStoredOnly("\xC3\xA9XIT")},
        {es(R"("":{})"), esStoredOnly("")},
        // Another spelling of a kind is another kind: kept only, whatever its type text.
        {es(R"("OPEN":{"file":{"path":"\/x"}})"), esStoredOnly("OPEN")},
        {es(R"("Exec":{})"), esStoredOnly("EXEC")},
        {es(R"("\u0065xit":{})"), esStoredOnly("EXIT")},
        // Not a message.
        {es(""), no},
        {es(R"("exit":{},"exec":{})"), no},
        {es(R"("exit":{},"exit":{})"), no},
        {R"({"time":"t","process":{},"event":[{"exit":{}}]})", no},
        {R"({"time":"t","process":{},"event":null})", no},
        {R"({"process":{},"event":{"exit":{}}})", no},
        {R"({"time":5,"process":{},"event":{"exit":{}}})", no},
        {R"({"time":null,"process":{},"event":{"exit":{}}})", no},
        {R"({"time":"t","event":{"exit":{}}})", no},
        {R"({"time":"t","process":null,"event":{"exit":{}}})", no},
        {R"({"time":"t","process":[],"event":{"exit":{}}})", no},
        {R"([{"time":"t","process":{},"event":{"exit":{}}}])", no},
        // The whole line must be JSON, ignored members included.
        {es(R"("exit":{"stat":tru})"), no},
        {es(R"("exit":{})") + "x", no},
        {es(R"("exit":{"stat":01})"), no},
        // A line the record rules accept stays a record.
        {R"({"event":"E","timestamp":"t","time":"u","process":null})",
         ReceivedJson{"E", "t", no, no, no}},
        {R"({"time":"2026-08-12T15:28:33.510893468Z","process":{},"event":{"exit":{}},"timestamp":"u"})",
         esStoredOnly("EXIT", false)},
    };
    for (const auto& c : cases) {
        expectDecodes(c.line, c.want);
    }
}

// The pid of a process: audit_token.pid, or element 5 of an eight-integer token.
TEST(EsloggerDecoder, PidOfAProcess) {
    const struct {
        std::string token;
        std::optional<std::int64_t> pid;
    } cases[] = {
        {R"({"pid":7})", 7},
        {R"({"pidversion":3,"pid":-12,"pid":13})", -12},
        {R"({"pid":9223372036854775807})", INT64_MAX},
        {R"([501,501,20,501,20,88,100017,4])", 88},
        {R"([0,0,0,0,0,-5,0,0])", -5},
        {R"([0,0,0,0,0,"88",0,0])", std::nullopt},
        {R"([501,501,20,501,20,88,100017])", std::nullopt},
        {R"([501,501,20,501,20,88,100017,4,9])", std::nullopt},
        {R"({"pid":9223372036854775808})", std::nullopt},
        {R"({"pid":18446744073709551616})", std::nullopt},
        {R"({"pid":7.0})", std::nullopt},
        {R"({"pid":"7"})", std::nullopt},
        {R"({"pid":null})", std::nullopt},
        {R"({"Pid":7})", std::nullopt},
        {R"("7")", std::nullopt},
        {"null", std::nullopt},
    };
    for (const auto& c : cases) {
        // The subject of a fork, and the acting process of a file message.
        const std::string subject = esProcess(c.token);
        expectDecodes(es(R"("fork":{"child":)" + subject + "}"),
                      c.pid ? std::optional(esRecord("FORK", Process{*c.pid, 1, "/bin/zsh"}, {}))
                            : std::nullopt);
        expectDecodes(
            es(R"("write":{"target":{"path":"\/w"}})", subject),
            c.pid ? std::optional(esRecord("WRITE", {}, File{*c.pid, "/w"})) : std::nullopt);
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
        std::optional<Process> want;  // kind EXEC unless FORK below
    } cases[] = {
        {R"("exec":{"target":{"audit_token":{"pid":40},"ppid":4,"executable":{"path":"\/usr\/bin\/git"}},)"
         R"("args":["git"],"env":["A=1"]})",
         Process{40, 4, "/usr/bin/git"}},
        {exec(R"(,"ppid":4)"), bare},
        {exec(R"(,"ppid":4,"executable":null)"), bare},
        {exec(R"(,"ppid":4,"executable":{})"), bare},
        {exec(R"(,"ppid":4,"executable":{"path":null})"), bare},
        {exec(R"(,"ppid":-4,"executable":{"path":""})"), Process{40, -4, ""}},
        {exec(R"(,"ppid":4,"executable":"\/bin\/ls")"), std::nullopt},
        {exec(R"(,"ppid":4,"executable":{"path":5})"), std::nullopt},
        {exec(R"(,"ppid":4,"executable":{"path":["\/a"]})"), std::nullopt},
        {exec(""), std::nullopt},
        {exec(R"(,"ppid":null)"), std::nullopt},
        {exec(R"(,"ppid":"4")"), std::nullopt},
        {exec(R"(,"ppid":4.5)"), std::nullopt},
        {R"("exec":{"target":{"ppid":4}})", std::nullopt},
        {R"("exec":{"target":null})", std::nullopt},
        {exec(R"(,"ppid":4)", R"("exec":{"child")"), std::nullopt},
        {R"("exec":null)", std::nullopt},
        {R"("exec":[])", std::nullopt},
        {exec(R"(,"ppid":4,"executable":{"path":"\/bin\/sh"})", R"("fork":{"child")"),
         Process{40, 4, "/bin/sh"}},
        {exec(R"(,"ppid":4)", R"("fork":{"target")"), std::nullopt},
        {R"("fork":{"child":[]})", std::nullopt},
    };
    for (const auto& c : cases) {
        const bool fork = c.event.starts_with(R"("fork")");
        expectDecodes(es(c.event),
                      c.want ? std::optional(esRecord(fork ? "FORK" : "EXEC", c.want, std::nullopt))
                             : std::nullopt);
    }
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
        std::optional<std::string> path;
    } cases[] = {
        {R"("open":{"file":{"path":"\/etc\/hosts","stat":{}},"fflag":1})", "/etc/hosts"},
        {R"("close":{"target":{"path":"\/a"},"modified":true})", "/a"},
        {R"("write":{"target":{"path":"\/a \"q\""}})", "/a \"q\""},
        {R"("unlink":{"target":{"path":""},"parent_dir":{"path":"\/"}})", ""},
        {moved("rename", "0", existing), "/r"},
        {moved("rename", "1", newPath), "/d/f"},
        {moved("create", "1", R"({"new_path":{"dir":{"path":"\/d\/"},"filename":"f"}})"), "/d/f"},
        {moved("create", "1", R"({"new_path":{"dir":{"path":""},"filename":""}})"), "/"},
        {moved("create", "0", R"({"existing_file":{"path":"\/c"},"new_path":5})"), "/c"},
        {R"("link":{"source":{"path":"\/s"},"target_dir":{"path":"\/t"},"target_filename":"l"})",
         "/t/l"},
        {R"("link":{"target_dir":{"path":"\/"},"target_filename":"l"})", "/l"},
        // Missing, null or of the wrong type.
        {R"("open":{"target":{"path":"\/a"}})", std::nullopt},
        {R"("open":{"file":{"path":null}})", std::nullopt},
        {R"("close":{"target":{}})", std::nullopt},
        {R"("write":{"target":"\/a"})", std::nullopt},
        {R"("unlink":{"target":{"path":7}})", std::nullopt},
        {R"("unlink":null)", std::nullopt},
        {R"("rename":{"destination":{"existing_file":{"path":"\/r"}}})", std::nullopt},
        {moved("rename", "2", existing), std::nullopt},
        {moved("rename", "\"0\"", existing), std::nullopt},
        {moved("rename", "0.0", existing), std::nullopt},
        {moved("rename", "0", newPath), std::nullopt},
        {moved("create", "1", R"({"new_path":{"dir":{"path":"\/d"}}})"), std::nullopt},
        {moved("create", "1", R"({"new_path":{"dir":null,"filename":"f"}})"), std::nullopt},
        {moved("create", "1", "null"), std::nullopt},
        {R"("link":{"target_dir":{"path":"\/t"},"target_filename":null})", std::nullopt},
        {R"("link":{"target_filename":"l"})", std::nullopt},
    };
    for (const auto& c : cases) {
        std::string kind = c.event.substr(1, c.event.find('"', 1) - 1);
        std::transform(kind.begin(), kind.end(), kind.begin(), ::toupper);
        expectDecodes(
            es(c.event),
            c.path ? std::optional(esRecord(kind, std::nullopt, File{7, *c.path})) : std::nullopt);
    }
}

// Joined paths, built names and the padded copy live in the decoder: a
// decode after a failed one, or after a record of the other kind, starts
// afresh; a padded line is parsed where it lies.
TEST(Decoder, ReusedDecoderKeepsNoState) {
    LineDecoder decoder;
    auto r = decoder.decode(es(R"("link":{"target_dir":{"path":"\/t"},"target_filename":"l"})"));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->file->destination, "/t/l");
    EXPECT_FALSE(decoder.decode(es(R"("link":{"target_dir":{"path":"\/t"}})")));
    EXPECT_FALSE(decoder.decode(R"({"event":"E","timestamp":"t","file":{"pid":1}})"));
    r = decoder.decode(R"({"event":"F","timestamp":"u"})");
    ASSERT_TRUE(r);
    EXPECT_EQ(toOwned(*r), (ReceivedJson{"F", "u", std::nullopt, std::nullopt, std::nullopt}));
    std::string buffer = es(R"("exit":{})");
    const std::size_t len = buffer.size();
    buffer.append(LineDecoder::kPadding, 'x');
    r = decoder.decodePadded(buffer.data(), len);
    ASSERT_TRUE(r);
    ReceivedJson owned = toOwned(*r);
    owned.facts = {};  // their own tests read them
    EXPECT_EQ(owned, esStoredOnly("EXIT"));
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

}  // namespace
}  // namespace korvantis

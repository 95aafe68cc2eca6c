// The facts of an eslogger row, rule by rule, read through the line decoder.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "decode/eslogger_facts.h"
#include "decode/row_facts.h"
#include "support/owned_record.h"

namespace korvantis {
namespace {

// An eslogger message of `kind` whose subject is `subject` (JSON text):
// exec's target, fork's child, else the top-level process. `exec` adds the
// exec's other members.
std::string message(std::string_view kind, const std::string& subject,
                    const std::string& exec = "") {
    const std::string acting =
        R"({"audit_token":{"pid":9,"euid":0,"pidversion":1},"ppid":1,"signing_id":"top"})";
    const bool token = subject.find(R"("audit_token")") != std::string::npos &&
                       subject.find(R"("audit_token")") < 2;
    const std::string inner = subject.substr(1, subject.size() - 2);
    const std::string pidded = (token ? R"({"ppid":4)" : R"({"audit_token":{"pid":40},"ppid":4)") +
                               (inner.empty() ? "" : "," + inner) + "}";
    std::string body;
    if (kind == "exec") {
        body = R"({"target":)" + pidded + exec + "}";
    } else if (kind == "fork") {
        body = R"({"child":)" + pidded + "}";
    } else {
        body = R"({"target":{"path":"\/w"}})";
    }
    const std::string process = kind == "exec" || kind == "fork" ? acting : pidded;
    return R"({"time":"t","process":)" + process + R"(,"event":{")" + std::string(kind) + R"(":)" +
           body + "}}";
}

std::string factOf(const std::string& line, Fact fact) {
    const auto record = decodeReceivedJson(line);
    EXPECT_TRUE(record) << line;
    return record ? record->facts[static_cast<std::size_t>(fact)] : "(refused)";
}

struct FactCase {
    std::string subject;  // the subject's members after its pid and ppid
    Fact fact;
    std::string want;
};

// Each fact of the subject process, with every shape of its members and a
// mistyping of each: a member that is missing, null or of another type
// leaves it empty. (The decoder's fuzz target compares every fact with the
// reference's reading of the same rules.)
TEST(RowFacts, SubjectFacts) {
    const std::vector<FactCase> cases = {
        // The two token shapes, an array's words at their bounds.
        {R"({"audit_token":{"euid":501,"pidversion":3,"pid":40}})", Fact::pidversion, "3"},
        {R"({"audit_token":[1,-2,3,4,5,40,7,9223372036854775807]})", Fact::uid, "-2"},
        {R"({"audit_token":[1,-2,3,4,5,40,7,9223372036854775807]})", Fact::pidversion,
         "9223372036854775807"},
        // Only the word a fact needs must be an integer.
        {R"({"audit_token":[1,501,"x",4,5,40,7,null]})", Fact::uid, "501"},
        {R"({"audit_token":[1,501,"x",4,5,40,7,null]})", Fact::pidversion, ""},
        {R"({"audit_token":[1,501.5,3,4,5,40,7,8]})", Fact::uid, ""},
        {R"({"audit_token":[1,9223372036854775808,3,4,5,40,7,8]})", Fact::uid, ""},
        {R"({"audit_token":{"euid":"501","pid":40}})", Fact::uid, ""},
        {R"({"audit_token":{"euid":1e3,"pid":40}})", Fact::uid, ""},
        {R"({"audit_token":{"pid":40}})", Fact::pidversion, ""},
        // The responsible process's pid, from either shape.
        {R"({"responsible_audit_token":{"pid":77}})", Fact::responsible_pid, "77"},
        {R"({"responsible_audit_token":[0,0,0,0,0,78,0,0]})", Fact::responsible_pid, "78"},
        {R"({"responsible_audit_token":[0,0,0,0,0,78,0]})", Fact::responsible_pid, ""},
        {R"({"responsible_audit_token":"77"})", Fact::responsible_pid, ""},
        // Strings, and the objects that hold them.
        {R"({"signing_id":5})", Fact::signing_id, ""},
        {R"({"team_id":"ABCDE12345"})", Fact::team_id, "ABCDE12345"},
        {R"({"team_id":["x"]})", Fact::team_id, ""},
        {R"({"tty":{"path":"\/dev\/ttys001"}})", Fact::tty, "/dev/ttys001"},
        {R"({"tty":{"path":null}})", Fact::tty, ""},
        {R"({"tty":"\/dev\/ttys001"})", Fact::tty, ""},
        {R"({"executable":{"path_truncated":false}})", Fact::process_path, ""},
        {R"({"is_platform_binary":false})", Fact::platform, "no"},
        {R"({"is_platform_binary":1})", Fact::platform, ""},
        {R"({"is_platform_binary":"true"})", Fact::platform, ""},
        // The signing status, from the flags' valid (0x1), ad-hoc (0x2) and
        // signed (0x20000000) bits, then whether it is a platform binary.
        {R"({"codesigning_flags":0})", Fact::signing, "unsigned"},
        {R"({"codesigning_flags":1,"is_platform_binary":true})", Fact::signing, "unsigned"},
        {R"({"codesigning_flags":3,"is_platform_binary":true})", Fact::signing, "ad-hoc"},
        {R"({"codesigning_flags":2})", Fact::signing, "ad-hoc"},
        {R"({"codesigning_flags":-1})", Fact::signing, "ad-hoc"},
        {R"({"codesigning_flags":536870912,"is_platform_binary":true})", Fact::signing, "invalid"},
        {R"({"codesigning_flags":570522385})", Fact::signing, "signed"},
        {R"({"codesigning_flags":570522385,"is_platform_binary":false})", Fact::signing, "signed"},
        {R"({"is_platform_binary":true,"codesigning_flags":570522385})", Fact::signing, "platform"},
        {R"({"codesigning_flags":"3"})", Fact::signing, ""},
        {R"({"codesigning_flags":3.0})", Fact::signing, ""},
        {R"({"codesigning_flags":9223372036854775808})", Fact::signing, ""},
        {R"({"codesigning_flags":null})", Fact::signing, ""},
        {R"({"signing_id":"a"})", Fact::signing, ""},
        // Where a key occurs twice, its first occurrence counts.
        {R"({"team_id":5,"team_id":"T"})", Fact::team_id, ""},
        {R"({"signing_id":"a","pid":1,"signing_id":"b"})", Fact::signing_id, "a"},
        {R"({"audit_token":{"euid":1,"euid":2,"pid":3}})", Fact::uid, "1"},
        // Not yet given by any kind.
        {R"({"summary":"x"})", Fact::summary, ""},
    };
    for (const FactCase& c : cases) {
        for (const std::string_view kind : {"exec", "fork", "close"}) {
            const std::string line = message(kind, c.subject);
            SCOPED_TRACE(line);
            EXPECT_EQ(factOf(line, c.fact), c.want);
        }
    }
}

// exec's own members, and which kinds have them.
TEST(RowFacts, ExecFacts) {
    const struct {
        std::string exec;  // members of the exec body after its target
        Fact fact;
        std::string want;
    } cases[] = {
        {R"(,"args":["ls","-la","/tmp"])", Fact::args, "ls -la /tmp"},
        {R"(,"args":["ls",1])", Fact::args, ""},
        {R"(,"args":"ls")", Fact::args, ""},
        {R"(,"args":[""])", Fact::args, "''"},
        {R"(,"args":["a_b@c%d+e=f:g,h.i/j-k09"])", Fact::args, "a_b@c%d+e=f:g,h.i/j-k09"},
        // Each character outside that plain set puts its word in single quotes.
        {R"(,"args":["a b"])", Fact::args, "'a b'"},
        {R"(,"args":["it's"])", Fact::args, R"('it'\''s')"},
        {R"(,"args":["''"])", Fact::args, R"(''\'''\''')"},
        {R"(,"args":["$HOME"])", Fact::args, "'$HOME'"},
        {R"(,"args":["~"])", Fact::args, "'~'"},
        {R"(,"args":["a\\b"])", Fact::args, "'a\\b'"},
        {R"(,"args":["caf\u00e9"])", Fact::args, "'caf\xC3\xA9'"},
        {R"(,"args":["a\u0000b"])", Fact::args, std::string("'a\0b'", 5)},
        {R"(,"args":["-n"])", Fact::args, "-n"},
        {R"(,"cwd":{"path":null})", Fact::cwd, ""},
        {R"(,"cwd":"\/Users")", Fact::cwd, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.exec);
        EXPECT_EQ(factOf(message("exec", "{}", c.exec), c.fact), c.want);
    }
    // Other kinds have no args or cwd, whatever they hold.
    const std::string fork = R"({"time":"t","process":{"audit_token":{"pid":9},"ppid":1},)"
                             R"("event":{"fork":{"child":{"audit_token":{"pid":40},"ppid":4},)"
                             R"("args":["x"],"cwd":{"path":"\/"}}}})";
    EXPECT_EQ(factOf(fork, Fact::args), "");
    EXPECT_EQ(factOf(fork, Fact::cwd), "");
}

// Beyond 4,096 bytes a fact keeps a whole UTF-8 character's worth less
// rather than half a character, then "…".
TEST(RowFacts, LongFactsAreCut) {
    const std::string ellipsis = "\xE2\x80\xA6";
    const std::string euro = "\xE2\x82\xAC";  // three bytes
    const struct {
        std::string text;
        std::string want;
    } cases[] = {
        {std::string(4096, 'a'), std::string(4096, 'a')},
        {std::string(4097, 'a'), std::string(4096, 'a') + ellipsis},
        {std::string(4095, 'a') + euro, std::string(4095, 'a') + ellipsis},
        {std::string(4094, 'a') + euro, std::string(4094, 'a') + ellipsis},
        {std::string(4093, 'a') + euro, std::string(4093, 'a') + euro},
        {std::string(4093, 'a') + euro + "b", std::string(4093, 'a') + euro + ellipsis},
        {std::string(4096, 'a') + euro, std::string(4096, 'a') + ellipsis},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.size());
        EXPECT_EQ(factOf(message("close", R"({"signing_id":")" + c.text + "\"}"), Fact::signing_id),
                  c.want);
    }
    // The command line is cut once quoted: here inside the quoted "é".
    const std::string args = R"(,"args":[")" + std::string(4093, 'a') + R"(","\u00e9"])";
    EXPECT_EQ(factOf(message("exec", "{}", args), Fact::args),
              std::string(4093, 'a') + " '" + ellipsis);
}

// The viewer's own records have no facts, nor have kept-only kinds. (Facts
// never decide whether a line is a row: factOf() checks that with each
// mistyped member above.)
TEST(RowFacts, NoneForNativeOrKeptOnlyRows) {
    const auto native = decodeReceivedJson(
        R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"1","process":{"pid":1,"ppid":0,"path":"\/x","signing_id":"s"}})");
    ASSERT_TRUE(native);
    EXPECT_EQ(native->facts, (std::array<std::string, kFactCount>{}));
    const auto exit =
        decodeReceivedJson(R"({"time":"t","process":{"signing_id":"s"},"event":{"exit":{}}})");
    ASSERT_TRUE(exit);
    EXPECT_EQ(exit->facts, (std::array<std::string, kFactCount>{}));
}

// All facts read in one walk are those read one by one, whichever are
// present: none, the first or last alone, every other one, all, a cut one.
TEST(RowFacts, AllAtOnceAsOneByOne) {
    const std::vector<std::vector<std::size_t>> presents = {
        {}, {0}, {kFactCount - 1}, {1, 3, 5, 7, 9, 11}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};
    for (const std::vector<std::size_t>& present : presents) {
        RowFactsBuilder builder;
        builder.clear();
        for (const std::size_t i : present) {
            builder.set(static_cast<Fact>(i),
                        i == 5 ? std::string(5000, 'x') : "f" + std::to_string(i));
        }
        const std::string encoded(builder.encode());
        const RowFacts facts(encoded.data());
        const std::array<std::string_view, kFactCount> all = facts.all();
        for (std::size_t i = 0; i < kFactCount; ++i) {
            EXPECT_EQ(all[i], facts[static_cast<Fact>(i)]) << i;
        }
    }
    EXPECT_EQ(RowFacts().all(), (std::array<std::string_view, kFactCount>{}));
}

// The command line to copy: quoted like the fact, but never cut.
TEST(RowFacts, WholeCommandLine) {
    const std::string longArg(5000, 'x');
    const struct {
        std::string line;
        std::optional<std::string> want;
    } cases[] = {
        {message("exec", "{}", R"(,"args":["a b","it's",")" + longArg + "\"]"),
         "'a b' 'it'\\''s' " + longArg},
        {message("exec", "{}", R"(,"args":[])"), ""},
        {message("exec", "{}", R"(,"args":["a",2])"), std::nullopt},
        {message("exec", "{}"), std::nullopt},
        {message("fork", "{}"), std::nullopt},
        {"not json", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(execCommandLine(c.line), c.want);
    }
}

}  // namespace
}  // namespace korvantis

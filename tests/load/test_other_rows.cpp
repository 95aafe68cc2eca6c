#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "input/temp_files.h"
#include "load/sequence_gaps.h"
#include "support/loading.h"
#include "support/log_lines.h"

namespace korvantis {
namespace {

using testing::TempDir;
using testsupport::LoadingWorkspace;
using Texts = std::vector<std::string>;

// An eslogger message of kind `kind` with `body`, sent by `process`.
std::string message(std::string_view kind, std::string_view body, std::string_view process,
                    std::string_view extra = "") {
    return R"({"event":{")" + std::string(kind) + R"(":)" + std::string(body) +
           R"(},"time":"2024-05-01T10:00:00.5Z",)" + std::string(extra) + R"("process":)" +
           std::string(process) + "}";
}

// A message numbered `number`.
std::string numbered(std::int64_t number) {
    return message("exit", R"({"stat":0})", R"({"audit_token":{"pid":9},"ppid":1})",
                   R"("global_seq_num":)" + std::to_string(number) + ",");
}

Texts otherRows(const EventStore& store) {
    Texts rows;
    const auto& others = store.rows(RowKind::other);
    for (std::size_t i = 0; i < others.size(); ++i) {
        const RowView e = others[i];
        rows.push_back(std::string(e.type) + "|" + std::to_string(e.pid) + "|" +
                       std::to_string(e.ppid) + "|" + std::string(e.path) + "|" +
                       std::string(others.rowView(i).facts[Fact::summary]));
    }
    return rows;
}

// Which messages of the other kinds are listed, and with what; none of them
// is ever a load error.
TEST(OtherRows, ListedWhenTheirProcessSaysWhoItIs) {
    const std::string exe = R"("executable":{"path":"/bin/ls"})";
    const struct {
        std::string line;
        std::string want;  // the row, or empty when the message is stored only
    } cases[] = {
        {message("exit", R"({"stat":2816})", R"({"audit_token":{"pid":50},"ppid":1,)" + exe + "}"),
         "ES_EVENT_TYPE_NOTIFY_EXIT|50|1|/bin/ls|exit 11"},
        {message("mmap", R"({"source":{"path":"/usr/lib/a.dylib"}})",
                 R"({"audit_token":[0,0,0,0,0,51,0,3],"ppid":50})"),
         "ES_EVENT_TYPE_NOTIFY_MMAP|51|50||/usr/lib/a.dylib"},
        // A path that is no string gives an empty path; a kind in mixed case
        // is written in upper case, unless that would name a kind of rows.
        {message("btm_Launch_item_add", R"({"item":{"path":""}})",
                 R"({"audit_token":{"pid":3},"ppid":2,"executable":{"path":7}})"),
         "ES_EVENT_TYPE_NOTIFY_BTM_LAUNCH_ITEM_ADD|3|2||"},
        {message("EXEC", R"({"target":{"executable":{"path":"/bin/x"}}})",
                 R"({"audit_token":{"pid":4},"ppid":2})"),
         R"(ES_EVENT_TYPE_NOTIFY_EXEC (as "EXEC")|4|2||/bin/x)"},
        {message("Open", R"({"file":{"path":"/tmp/o"}})", R"({"audit_token":{"pid":4},"ppid":2})"),
         R"(ES_EVENT_TYPE_NOTIFY_OPEN (as "Open")|4|2||/tmp/o)"},
        // Without an integer ppid or a pid there is no row (which tokens give a
        // pid is the decoder's table).
        {message("kill", R"({"sig":9})", R"({"audit_token":{"pid":52},"ppid":"1"})"), ""},
        {message("kill", R"({"sig":9})", R"({"ppid":1})"), ""},
        // The viewer's own records of a kind that is none of the listed ones
        // (named exactly), with their process; no facts, no summary.
        {R"({"event":"ES_EVENT_TYPE_NOTIFY_EXIT","timestamp":"1765000000.5",)"
         R"("process":{"pid":60,"ppid":1,"path":"/bin/sh"}})",
         "ES_EVENT_TYPE_NOTIFY_EXIT|60|1|/bin/sh|"},
        {R"({"event":"es_event_type_notify_exec","timestamp":"1",)"
         R"("process":{"pid":61,"ppid":60}})",
         "es_event_type_notify_exec|61|60||"},
        {R"({"event":"SIGNAL","timestamp":"1"})", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        TempDir dir;
        LoadingWorkspace w;
        w.load(dir.write("other.json", c.line + "\n"));
        EXPECT_EQ(otherRows(w.ws.store), c.want.empty() ? Texts{} : Texts{c.want});
        EXPECT_TRUE(w.ws.store.loadErrors().empty());
        EXPECT_EQ(w.ws.store.lineRefs().size(), 1u);
        if (!c.want.empty()) {
            ASSERT_TRUE(w.ws.store.rowAt(LinePlace(0)));
            EXPECT_EQ(w.ws.store.rowAt(LinePlace(0))->kind, RowKind::other);
            EXPECT_EQ(w.ws.store.rowAt(LinePlace(0))->index, RowIndex(0));
        }
    }
}

// Gaps in the message numbers, counted per log over every line with the
// eslogger shape, whatever became of it (the counting rules themselves, with
// restarts and repeats, have the counter's own table).
TEST(OtherRows, GapsInMessageNumbersPerLog) {
    const std::string refused =
        R"({"event":{"open":{}},"time":"t","global_seq_num":7,"process":{}})";
    const std::string unnumbered = message("exit", "{}", "{}");
    const std::string fraction = message("exit", "{}", "{}", R"("global_seq_num":12.0,)");
    using Gaps = std::vector<SequenceGap>;
    using P = LinePlace;
    const struct {
        std::vector<Texts> logs;
        Gaps want;
    } cases[] = {
        // Lines without a number, invalid lines and empty lines are skipped
        // without restarting; a refused eslogger message counts. A refused
        // line is stored nowhere: a gap there starts at the next stored line.
        {{{numbered(1), unnumbered, "not json", "", numbered(-4), fraction, numbered(3)}},
         {{7, 1, 0, P(4)}}},
        {{{numbered(5), refused, numbered(9)}}, {{2, 1, 0, P(1)}, {3, 1, 0, P(1)}}},
        // Each log counts on its own.
        {{{numbered(1), numbered(3)}, {numbered(10), numbered(12)}},
         {{2, 1, 0, P(1)}, {2, 1, 1, P(3)}}},
    };
    for (const auto& c : cases) {
        TempDir dir;
        LoadingWorkspace w;
        std::vector<std::string> paths;
        for (std::size_t i = 0; i < c.logs.size(); ++i) {
            paths.push_back(dir.write("log" + std::to_string(i) + ".json",
                                      testsupport::joinedLines(c.logs[i])));
        }
        w.load(paths);
        EXPECT_EQ(w.ws.store.sequenceGaps(), c.want) << testsupport::joinedLines(c.logs.front());
    }
}

// The counter itself: numbers after numbers, lines skipped, restarts.
TEST(SequenceGaps, JumpsRestartsAndRepeats) {
    constexpr std::uint64_t kHuge = static_cast<std::uint64_t>(INT64_MAX) - 1;
    using Lines = std::vector<std::pair<std::uint64_t, std::int64_t>>;  // line, number
    const struct {
        Lines lines;
        std::vector<SequenceGap> want;
    } cases[] = {
        {{}, {}},
        {{{1, 1}, {2, 2}, {3, 3}}, {}},
        {{{1, 1}, {2, 5}}, {{2, 3}}},
        // Lines without a number are skipped without restarting the count.
        {{{1, 1}, {4, 3}, {9, 10}}, {{4, 1}, {9, 6}}},
        // A repeat or a step back starts afresh from that number.
        {{{1, 5}, {2, 5}, {3, 7}}, {{3, 1}}},
        {{{1, 100}, {2, 1}, {3, 2}, {4, 4}}, {{4, 1}}},
        // Two logs' worth in one file: the second starts lower.
        {{{1, 0}, {2, 1}, {3, 0}, {4, 2}}, {{4, 1}}},
        {{{1, 0}, {2, INT64_MAX}}, {{2, kHuge}}},
        // Their sum passes any 64-bit count: it must not wrap.
        {{{1, 0}, {2, INT64_MAX}, {3, 0}, {4, INT64_MAX}, {5, 1}, {6, 7}},
         {{2, kHuge}, {4, kHuge}, {6, 5}}},
        {{{1, 0}, {2, INT64_MAX}, {3, 0}, {4, INT64_MAX}, {5, 1}, {6, 4}},
         {{2, kHuge}, {4, kHuge}, {6, 2}}},
    };
    for (const auto& c : cases) {
        SequenceGapCounter counter;
        __extension__ using Wide = unsigned __int128;
        Wide lost = 0;
        for (const auto& [line, number] : c.lines) {
            counter.count(line, number);
        }
        for (const SequenceGap& gap : c.want) {
            lost += gap.lost;
        }
        EXPECT_EQ(counter.gaps(), c.want);
        EXPECT_EQ(counter.lost().beyond, lost > UINT64_MAX);
        EXPECT_EQ(counter.lost().count,
                  static_cast<std::uint64_t>(std::min<Wide>(lost, UINT64_MAX)));
    }
}

}  // namespace
}  // namespace korvantis

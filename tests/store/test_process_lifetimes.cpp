// The runs of eslogger processes: which later row ends each process row's
// run, what its card says, and how spans of time read.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "decode/event_kinds.h"
#include "describe/duration_text.h"
#include "describe/lifetime_text.h"
#include "store/process_lifetimes.h"

using namespace korvantis;

namespace {

constexpr TimeValue kMs = 1000000;

// A row as the lifetimes see it: x exec, f fork, e exit, o another kind
// (eslogger), n a native exec; pv "" for none, time -1 for no time value.
struct RowSketch {
    char kind;
    std::int64_t pid;
    std::string pv;
    TimeValue time = 0;
    std::string path = "/bin/p";
    std::string summary = "";
};

// The described rows, with their facts kept alive.
struct Rows {
    std::deque<std::string> facts;
    std::vector<RowView> rows;
    std::vector<std::size_t> procs, others;  // their places in `rows`

    explicit Rows(const std::vector<RowSketch>& described) {
        for (const RowSketch& s : described) {
            RowView row;
            row.kind =
                s.kind == 'x' || s.kind == 'f' || s.kind == 'n' ? RowKind::process : RowKind::other;
            row.type = s.kind == 'x' || s.kind == 'n' ? kEventKindNames[kExecKind]
                       : s.kind == 'f'                ? kEventKindNames[kForkKind]
                       : s.kind == 'e'                ? ProcessLifetimes::kExitType
                                       : std::string_view("ES_EVENT_TYPE_NOTIFY_MMAP");
            row.pid = s.pid;
            row.path = s.path;
            row.timestamp = "T";
            row.time = s.time < 0 ? kNoTimeValue : s.time;
            if (s.kind != 'n') {
                RowFactsBuilder builder;
                builder.set(Fact::pidversion, s.pv);
                builder.set(Fact::summary, s.summary);
                row.facts = RowFacts(facts.emplace_back(builder.encode()).data());
            }
            (row.kind == RowKind::process ? procs : others).push_back(this->rows.size());
            this->rows.push_back(row);
        }
    }
    void addTo(ProcessLifetimes& lifetimes) const {
        for (const RowView& row : rows) {
            lifetimes.add(row);
        }
    }
    // Each process row's text, and each other row's "Ends" text, in order.
    std::vector<std::string> texts() const {
        ProcessLifetimes lifetimes;
        addTo(lifetimes);
        std::vector<std::string> out;
        for (std::size_t i = 0; i < procs.size(); ++i) {
            const LifetimeEnd end = lifetimes.endOf(i);
            const bool exited = end.how == LifetimeEnd::How::exited;
            const std::size_t at = exited ? others[end.row] : procs[end.row];
            out.push_back(lifetimeText(rows[procs[i]], end.how,
                                       end.how > LifetimeEnd::How::running ? rows[at] : RowView{}));
        }
        for (std::size_t i = 0; i < others.size(); ++i) {
            const auto start = lifetimes.endedBy(i);
            out.push_back(start ? "ends " + endedRowText(rows[procs[*start]]) : "");
        }
        return out;
    }
};

// What each ending reads as. (Which row ends which run, pid reuse, rows
// without a pid version and native rows among them, is compared with the
// plain rule on random rows below; a run still going is the CLI's.)
TEST(ProcessLifetimes, Cases) {
    const struct {
        const char* name;
        std::vector<RowSketch> rows;
        std::vector<std::string> texts;  // process rows, then other rows
    } cases[] = {
        {"fork then exec then exit",
         {{'f', 5, "1", 0},
          {'x', 5, "2", 3 * kMs, "/bin/ls"},
          {'e', 5, "2", 1243 * kMs, "", "exit 0"}},
         {"became /bin/ls after 3 ms", "ran 1.24 s, exit 0",
          "ends ES_EVENT_TYPE_NOTIFY_EXEC of /bin/ls at T"}},
        {"exec then exit by a signal; no time value",
         {{'x', 7, "3", -1}, {'o', 7, "3"}, {'e', 7, "3", 9, "", "signal 9"}},
         {"ended, signal 9", "", "ends ES_EVENT_TYPE_NOTIFY_EXEC of /bin/p at T"}},
        {"an exit without status, a second exit ends nothing more",
         {{'x', 7, "3", 0}, {'e', 7, "3", 125 * 60 * 1000 * kMs}, {'e', 7, "3", 0}},
         {"ran 2 h 5 min", "ends ES_EVENT_TYPE_NOTIFY_EXEC of /bin/p at T", ""}},
        {"the pid reused by a fork before the exec: the first run ended unseen",
         {{'x', 100, "1", 0, "/bin/zsh"},
          {'f', 100, "5", 2 * kMs},
          {'x', 100, "6", 326 * 1000 * kMs + 2 * kMs, "/Finder"}},
         {"ended unseen before T (its pid was reused)", "became /Finder after 5 min 26 s",
          "still running at the end of the log"}},
        {"a run begun twice (a log loaded twice): the exit names the latest; times out of order",
         {{'f', 3, "1", 50}, {'f', 3, "1", 10, "/bin/sh"}, {'e', 3, "1", 20}},
         {"ended at the same time or earlier", "ran 10 ns",
          "ends ES_EVENT_TYPE_NOTIFY_FORK of /bin/sh at T"}},
        {"a clock stepping back: no negative span",
         {{'f', 5, "1", 500 * kMs}, {'x', 5, "2", 0, "/bin/x"}, {'e', 5, "2", INT64_MAX}},
         {"became /bin/x at the same time or earlier", "ran 106751 d 23 h",
          "ends ES_EVENT_TYPE_NOTIFY_EXEC of /bin/x at T"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Rows(c.rows).texts(), c.texts) << c.name;
    }
}

// (3 ms and 1.24 s are in the cases above.)
TEST(ProcessLifetimes, DurationTexts) {
    const struct {
        std::int64_t ns;
        const char* text;
    } cases[] = {
        {0, "0 ns"},
        {999, "999 ns"},
        {1000, "1 µs"},
        {1509, "1.5 µs"},
        {999999, "999 µs"},
        {12599999, "12.5 ms"},
        {59999999999, "59.9 s"},
        {60000000000, "1 min"},
        {125000000000, "2 min 5 s"},
        {3600000000000, "1 h"},
        {86400000000000 + 7200000000000 + 1, "1 d 2 h"},
        {-3 * kMs, "-3 ms"},
        {INT64_MIN, "-106751 d 23 h"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(durationText(c.ns), c.text) << c.ns;
    }
}

// The plain rule, row by row: the first later exec of the same pid, fork of
// the same pid and another (or no) pid version, or exit of the same pid and
// pid version.
std::vector<LifetimeEnd> referenceEnds(const Rows& r) {
    std::vector<LifetimeEnd> ends;
    for (std::size_t i = 0; i < r.procs.size(); ++i) {
        const RowView& start = r.rows[r.procs[i]];
        const std::string_view version = start.facts[Fact::pidversion];
        LifetimeEnd end;
        if (!version.empty()) {
            end.how = LifetimeEnd::How::running;
            std::size_t proc = i + 1, other = 0;
            for (std::size_t at = r.procs[i] + 1; at < r.rows.size(); ++at) {
                const RowView& row = r.rows[at];
                while (other < r.others.size() && r.others[other] < at) {
                    ++other;
                }
                const bool exec = row.type == kEventKindNames[kExecKind];
                if (row.kind == RowKind::process && row.facts.any() && row.pid == start.pid &&
                    (exec || row.facts[Fact::pidversion] != version)) {
                    end = {exec ? LifetimeEnd::How::became : LifetimeEnd::How::unseen, proc};
                    break;
                }
                if (row.kind == RowKind::other && row.type == ProcessLifetimes::kExitType &&
                    row.pid == start.pid && row.facts[Fact::pidversion] == version) {
                    end = {LifetimeEnd::How::exited, other};
                    break;
                }
                proc += row.kind == RowKind::process;
            }
        }
        ends.push_back(end);
    }
    return ends;
}

// The first `count` rows of one kind, as a store's list gives them.
struct Listed {
    const Rows& rows;
    const std::vector<std::size_t>& of;
    std::size_t count;
    std::size_t size() const { return count; }
    std::size_t placeOf(std::size_t i) const { return of[i]; }
    RowView rowViewWithoutHits(std::size_t i) const { return rows.rows[of[i]]; }
};

TEST(ProcessLifetimes, AgreeWithThePlainRuleOnRandomRows) {
    std::mt19937 random(19);
    for (int round = 0; round < 300; ++round) {
        std::vector<RowSketch> described(random() % 60);
        for (RowSketch& s : described) {
            s.kind = "xxffeeeon"[random() % 9];
            s.pid = random() % 4;
            const unsigned v = random() % 4;
            s.pv = v == 0 ? "" : std::to_string(v);
            s.summary = random() % 2 ? "" : "exit " + std::to_string(random() % 3);
            s.path = "/bin/p" + std::to_string(random() % 3);
        }
        const Rows rows(described);
        ProcessLifetimes lifetimes;
        rows.addTo(lifetimes);
        // The same rows taken in batches, as a store takes them.
        ProcessLifetimes batched;
        for (std::size_t upTo = 0; upTo < rows.rows.size();) {
            upTo = std::min(rows.rows.size(), upTo + 1 + random() % 20);
            const auto below = [&](const std::vector<std::size_t>& of) {
                return Listed{rows, of,
                              static_cast<std::size_t>(
                                  std::lower_bound(of.begin(), of.end(), upTo) - of.begin())};
            };
            batched.catchUp(below(rows.procs), below(rows.others));
        }
        const std::vector<LifetimeEnd> expected = referenceEnds(rows);
        // Each run that ended is listed once among those ended.
        std::vector<std::size_t> ended, endedExpected;
        for (std::size_t e = 0; e < lifetimes.endedCount(); ++e) {
            ended.push_back(lifetimes.endedRow(e));
        }
        std::sort(ended.begin(), ended.end());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            ASSERT_EQ(lifetimes.endOf(i), expected[i]) << "round " << round << " row " << i;
            if (expected[i].how > LifetimeEnd::How::running) {
                endedExpected.push_back(i);
            }
            // The outcome says the same in words.
            const LifetimeEnd& end = expected[i];
            const bool exited = end.how == LifetimeEnd::How::exited;
            const RowView by = end.how < LifetimeEnd::How::exited
                                   ? RowView{}
                                   : rows.rows[exited ? rows.others[end.row] : rows.procs[end.row]];
            const std::string_view summary = by.facts[Fact::summary];
            const std::string outcome[] = {"", "still running",
                                           summary.empty() ? "exited" : std::string(summary),
                                           "became " + std::string(by.path), "ended unseen"};
            ASSERT_EQ(lifetimes.outcomeOf(i), outcome[static_cast<int>(end.how)])
                << "round " << round << " row " << i;
            ASSERT_EQ(lifetimes.outcomes(expected.size())[i], lifetimes.outcomeOf(i));
            ASSERT_EQ(batched.endOf(i), expected[i]) << "round " << round << " row " << i;
            ASSERT_EQ(batched.outcomeOf(i), lifetimes.outcomeOf(i));
        }
        ASSERT_EQ(ended, endedExpected) << "round " << round;
        for (std::size_t e = 0; e < rows.others.size(); ++e) {
            std::optional<std::size_t> latest;
            for (std::size_t i = 0; i < expected.size(); ++i) {
                if (expected[i] == LifetimeEnd{LifetimeEnd::How::exited, e}) {
                    latest = i;
                }
            }
            ASSERT_EQ(lifetimes.endedBy(e), latest) << "round " << round << " exit " << e;
            ASSERT_EQ(batched.endedBy(e), latest) << "round " << round << " exit " << e;
        }
    }
}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "decode/row_facts.h"
#include "input/temp_files.h"
#include "query/filter_query.h"
#include "query/trace_summary.h"
#include "support/encoded_facts.h"
#include "support/loading.h"
#include "support/log_lines.h"

namespace korvantis {
namespace {

// Counts in name order, then the most first (a stable sort keeps the
// names' order among ties; std::string compares as unsigned bytes).
std::uint64_t countOf(const NamedCount& c) {
    return c.events;
}
std::uint64_t countOf(const BusySecond& s) {
    return s.rows;
}

template <typename Map, typename Make>
auto ranked(const Map& counts, std::size_t top, Make make) {
    std::vector<decltype(make(*counts.begin()))> list;
    for (const auto& count : counts) {
        list.push_back(make(count));
    }
    std::stable_sort(list.begin(), list.end(),
                     [](const auto& a, const auto& b) { return countOf(a) > countOf(b); });
    list.resize(std::min(list.size(), top));
    return list;
}

// The plain reference: each row's program found by looking back for its
// pid's process row, everything counted in ordered maps, then ranked.
TraceSummary referenceSummary(const std::vector<RowView>& rows) {
    std::map<std::string, std::uint64_t> types;
    std::map<std::string, std::uint64_t> paths;
    std::map<std::string, std::pair<std::uint64_t, std::set<std::int64_t>>> programs;
    std::map<TimeValue, std::uint64_t> seconds;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const RowView& r = rows[i];
        ++types[std::string(r.type)];
        if (!r.hasPpid() && !r.path.empty()) {
            ++paths[std::string(r.path)];
        }
        std::string program((r.kind == RowKind::process) ? r.path : r.facts[Fact::process_path]);
        for (std::size_t j = i; !(r.kind == RowKind::process) && program.empty() && j-- > 0;) {
            if ((rows[j].kind == RowKind::process) && rows[j].pid == r.pid) {
                program = rows[j].path;
                break;
            }
        }
        if (!program.empty()) {
            ++programs[program].first;
            programs[program].second.insert(r.pid);
        }
        if (r.time != kNoTimeValue) {
            ++seconds[r.time / 1'000'000'000 * 1'000'000'000];
        }
    }
    const auto named = [](const auto& c) { return NamedCount{c.first, c.second, 0}; };
    TraceSummary s;
    s.rows = rows.size();
    s.types = ranked(types, SIZE_MAX, named);
    s.paths = ranked(paths, kSummaryTop, named);
    s.programs = ranked(programs, kSummaryTop, [](const auto& p) {
        return NamedCount{p.first, p.second.first, p.second.second.size()};
    });
    s.seconds = ranked(seconds, kSummarySeconds, [](const auto& c) {
        return BusySecond{c.first, c.second};
    });
    return s;
}

// Few names and pids, so that counts tie and pids change programs; names
// past the top 20, non-ASCII and empty ones.
struct RandomRows {
    std::mt19937 rng{20261207};
    std::vector<std::string> names;
    RandomRows() {
        for (int i = 0; i < 40; ++i) {
            names.push_back("/usr/bin/t" + std::to_string(i % 30) + (i >= 30 ? "\xc3\xa9" : ""));
        }
        names.push_back("");
    }
    std::size_t pick(std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
    }
    // The empty name is last.
    const std::string& name(bool orEmpty = true) {
        return names[pick(3) == 0 ? pick(4) : pick(names.size() - (orEmpty ? 0 : 1))];
    }
    TimeValue time() {
        return pick(10) == 0 ? kNoTimeValue
                             : 1'765'000'000'000'000'000 + static_cast<TimeValue>(pick(40'000)) *
                                                               1'000'000;  // 40 s in 1 ms steps
    }
};

TEST(TraceSummary, AgreesWithPlainCount) {
    RandomRows random;
    const std::vector<std::string> types = {"ES_EVENT_TYPE_NOTIFY_EXEC",
                                            "ES_EVENT_TYPE_NOTIFY_FORK",
                                            "ES_EVENT_TYPE_NOTIFY_OPEN", "exit", "mmap"};
    for (int round = 0; round < 30; ++round) {
        std::vector<RowView> rows(round == 0 ? 0 : 1 + random.pick(round * 40));
        for (RowView& r : rows) {
            const std::size_t kind = random.pick(3);
            r.kind = kind == 0 ? RowKind::process : kind == 2 ? RowKind::other : RowKind::file;
            r.type = types[r.kind == RowKind::process ? random.pick(2) : 2 + random.pick(3)];
            r.pid = static_cast<std::int64_t>(random.pick(12)) - 2;
            r.path = random.name();
            r.time = random.time();
            if (!(r.kind == RowKind::process) && random.pick(3) == 0) {
                r.facts = RowFacts(testsupport::encodedFacts(
                    {{Fact::uid, "501"}, {Fact::process_path, random.name()}}));
            }
        }
        TraceSummaryBuilder builder;
        for (const RowView& r : rows) {
            builder.add(r);
        }
        ASSERT_EQ(builder.finish(), referenceSummary(rows)) << "round " << round;
    }
}

// Clicking a line of the summary of an eslogger trace (every row names its
// process's path in `process_path`) keeps exactly the rows the line counts.
// The names are no part of one another: a term matches a part of a text.
TEST(TraceSummary, EachLinesTermsKeepItsCount) {
    RandomRows random;
    const std::vector<std::string> programs = {"/bin/zsh", "/usr/libexec/xpcproxy",
                                               "/tmp/.hidden/agent", "/Applications/Ünïcode.app/x"};
    const std::vector<std::string> files = {"/etc/hosts", "/private/var/db/x.plist",
                                            "/tmp/.hidden/agent.log", "/Users/émilie/notes.txt"};
    std::vector<RowView> rows(3000);
    for (RowView& r : rows) {
        const std::size_t kind = random.pick(3);
        r.kind = kind == 0 ? RowKind::process : kind == 2 ? RowKind::other : RowKind::file;
        r.type = kind == 0   ? "ES_EVENT_TYPE_NOTIFY_EXEC"
                 : kind == 2 ? "ES_EVENT_TYPE_NOTIFY_EXIT"
                             : "ES_EVENT_TYPE_NOTIFY_OPEN";
        r.pid = static_cast<std::int64_t>(random.pick(6));
        const std::string& program = programs[random.pick(programs.size())];
        r.path = kind == 0   ? std::string_view(program)
                 : kind == 2 ? std::string_view()
                             : std::string_view(files[random.pick(files.size())]);
        r.time = random.time();
        r.facts = RowFacts(testsupport::encodedFacts({{Fact::process_path, program}}));
    }
    TraceSummaryBuilder builder;
    for (const RowView& r : rows) {
        builder.add(r);
    }
    const TraceSummary summary = builder.finish();
    const auto shown = [&](const SummaryLine& line) {
        const auto query = parseFilterQuery(withSummaryLine("", line));
        EXPECT_TRUE(query.query) << withSummaryLine("", line);
        return static_cast<std::uint64_t>(std::count_if(
            rows.begin(), rows.end(), [&](const RowView& r) { return query.query->matches(r); }));
    };
    using K = SummaryLine::Kind;
    for (const NamedCount& c : summary.types) {
        EXPECT_EQ(shown({K::type, c.name, 0}), c.events) << c.name;
    }
    ASSERT_EQ(summary.programs.size(), programs.size());
    for (const NamedCount& c : summary.programs) {
        EXPECT_EQ(shown({K::program, c.name, 0}), c.events) << c.name;
    }
    ASSERT_EQ(summary.paths.size(), files.size());
    for (const NamedCount& c : summary.paths) {
        EXPECT_EQ(shown({K::path, c.name, 0}), c.events) << c.name;
    }
    for (const BusySecond& s : summary.seconds) {
        EXPECT_EQ(shown({K::second, "", s.start}), s.rows) << s.start;
    }
}

// Through a loaded store: the three lists merged back into load order.
TEST(TraceSummary, OfLoadedRowsInLoadOrder) {
    RandomRows random;
    testing::TempDir dir;
    std::string log;
    std::vector<std::string> texts;  // the rows' texts, for the reference
    texts.reserve(2000);
    std::vector<RowView> rows;
    for (int i = 0; i < 800; ++i) {
        RowView r;
        r.kind = random.pick(3) == 0 ? RowKind::process : RowKind::file;
        r.pid = static_cast<std::int64_t>(random.pick(8));
        const std::string& path = random.name(false);
        const TimeValue t = random.time();
        const std::string stamp =
            t == kNoTimeValue ? "t"
                              : std::to_string(t / 1'000'000'000) + "." +
                                    std::to_string(1'000'000'000 + t % 1'000'000'000).substr(1);
        texts.push_back((r.kind == RowKind::process) ? "ES_EVENT_TYPE_NOTIFY_EXEC"
                                                     : "ES_EVENT_TYPE_NOTIFY_WRITE");
        r.type = texts.back();
        texts.push_back(path);
        r.path = texts.back();
        r.time = t;
        log += ((r.kind == RowKind::process) ? testsupport::procLine(r.type, r.pid, 1, path, stamp)
                                             : testsupport::fileLine(r.type, r.pid, path, stamp)) +
               "\n";
        rows.push_back(r);
    }
    testsupport::LoadingWorkspace loading;
    loading.load(dir.write("rows.json", log));
    EXPECT_EQ(summarizeTrace(RowsSnapshot::of(loading.ws.store)), referenceSummary(rows));
}

}  // namespace
}  // namespace korvantis

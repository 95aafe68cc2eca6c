// Logs as they may come off a compromised machine. Each is written at test
// time into a temporary folder, loaded into a store, and must load without a
// crash or a hang, within memory bounded by its size, and with every line
// accounted for.
//
// KORVANTIS_HOSTILE_SMALL=1 shrinks the largest logs tenfold (the sanitizer
// build sets it); the shapes stay the same.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "describe/pretty_json.h"
#include "input/temp_files.h"
#include "query/row_filter.h"
#include "query/rows_snapshot.h"
#include "support/accounting.h"
#include "support/compressed_copies.h"
#include "support/loading.h"
#include "support/log_lines.h"

namespace korvantis {
namespace {

using testing::readAll;
using testing::TempDir;
using testsupport::checkAccounting;
using testsupport::LineAccount;
using testsupport::procLine;

constexpr const char* kExec = "ES_EVENT_TYPE_NOTIFY_EXEC";

constexpr std::string_view kTreeOfNothing =
    R"([{"name":"launchd","children":[{"name":"Untracked Heritage"}]}])";
constexpr std::size_t kMiB = std::size_t{1} << 20;

std::size_t scaled(std::size_t n) {
    const char* small = std::getenv("KORVANTIS_HOSTILE_SMALL");
    return small != nullptr && *small != '\0' && std::string_view(small) != "0" ? n / 10 : n;
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// A sanitizer's shadow memory and quarantine would outweigh the load itself.
constexpr bool kMemoryMeasured = false;
#else
constexpr bool kMemoryMeasured = true;
#endif

// The peak resident size of a load of `path` in a fresh process:
// korvantis-inspect, which loads as the viewer does, run as a child, which
// reports its own peak. A process per load, because a peak only grows: in
// one process a small load would hide behind an earlier large one. (The
// child's figure from wait4() would also hold this process's peak: spawning
// shares its memory until the child starts the program.)
std::size_t peakOfLoadAlone(const std::string& path) {
    // Without the index: the load as it is, and no file left in the cache.
    std::FILE* child =
        ::popen((std::string(KORVANTIS_INSPECT " --no-index '") + path + "'").c_str(), "r");
    std::string summary(4096, '\0');
    summary.resize(std::fread(summary.data(), 1, summary.size(), child));
    EXPECT_EQ(::pclose(child), 0) << summary;
    const std::size_t at = summary.find("peak RSS MiB: ");
    EXPECT_NE(at, std::string::npos) << summary;
    return at == std::string::npos
               ? 0
               : static_cast<std::size_t>(std::stod(summary.substr(at + 14)) * kMiB);
}

// A log written piece by piece, so that making a large log does not itself
// hold it in memory, and the store it is loaded into. The accounting check
// of each load compares every row, node and error with its line (fields,
// texts, line numbers): the tests add what it cannot see.
class HostileLogs : public ::testing::Test {
  public:
    HostileLogs& operator<<(std::string_view bytes) {
        out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return *this;
    }
    HostileLogs& repeat(char c, std::size_t n) {
        const std::string block(64 * 1024, c);
        for (std::size_t left = n; left > 0; left -= std::min(left, block.size())) {
            *this << std::string_view(block).substr(0, std::min(left, block.size()));
        }
        return *this;
    }

    // Loads the log into `keeper` and checks the accounting of every line;
    // checks that a load of it in a process of its own peaks at no more than
    // 64 MiB + `perByte` * size + `perLine` * lines. Its gzip and zstd copies
    // must load alike, within the same memory.
    LineAccount load(double perByte, std::size_t perLine) {
        out_.close();
        keeper.load(path);
        const std::string bytes = readAll(path);
        LineAccount account;
        EXPECT_EQ(checkAccounting(bytes, keeper.ws, {}, &account), "");
        const double bound = static_cast<double>(64 * kMiB) +
                             perByte * static_cast<double>(bytes.size()) +
                             static_cast<double>(perLine * account.lines);
        checkPeak(path, bytes.size(), account.lines, bound);
        // Written and measured before any other load in this process: a
        // child starts as a copy of it, which must hold no more than it did
        // for the plain log's measure.
        const std::string gz = dir.write("log.json.gz", testsupport::gzipped(bytes, 1));
        const std::string zst = dir.write("log.json.zst", testsupport::zstdCompressed(bytes, 1));
        checkPeak(zst, bytes.size(), account.lines, bound);
        loadCompressed(gz, bytes);
        loadCompressed(zst, bytes);
        return account;
    }

    void checkPeak(const std::string& log, std::size_t size, std::size_t lines, double bound) {
        if (!kMemoryMeasured) {
            return;
        }
        const std::size_t peak = peakOfLoadAlone(log);
        std::printf("load of %zu KiB in %zu lines: peak memory %zu KiB (bound %.0f KiB)\n",
                    size / 1024, lines, peak / 1024, bound / 1024);
        EXPECT_LE(static_cast<double>(peak), bound);
    }

    // The same store as the plain log's (the accounting reads every row's and
    // error's text again from the copy), and the same tree.
    void loadCompressed(const std::string& copy, const std::string& bytes) {
        SCOPED_TRACE(copy);
        testsupport::LoadingWorkspace other;
        other.load(copy);
        EXPECT_EQ(checkAccounting(bytes, other.ws), "");
        EXPECT_EQ(other.ws.store.jsonTreeRaw(), keeper.ws.store.jsonTreeRaw());
        std::filesystem::remove(copy);
    }

    TempDir dir;
    const std::string path = (dir.path() / "log.json").string();
    testsupport::LoadingWorkspace keeper;

  protected:
    std::ofstream out_{path, std::ios::binary};
};

TEST_F(HostileLogs, MillionProcessChain) {
    const std::size_t n = scaled(1'000'000);
    for (std::size_t i = 0; i < n; ++i) {
        const auto pid = static_cast<std::int64_t>(i) + 2;
        *this << procLine(kExec, pid, pid - 1, "/usr/bin/p" + std::to_string(i)) << "\n";
    }
    EXPECT_EQ(load(2.0, 512).procPreviews, n);

    // One chain under launchd, each process the only child of the one before.
    const std::string_view tree = keeper.ws.store.jsonTreeRaw();
    EXPECT_TRUE(tree.starts_with(
        R"([{"name":"launchd","children":[{"name":"Untracked Heritage"},{"name":"p0","children":[{"name":"p1",)"));
    std::string end = "{\"name\":\"p" + std::to_string(n - 1) + "\"}";
    for (std::size_t i = 0; i < n; ++i) {
        end += "]}";
    }
    EXPECT_TRUE(tree.ends_with(end + "]"));
}

TEST_F(HostileLogs, SingleLineOf64MiB) {
    const std::size_t pathSize = scaled(64 * kMiB);
    *this
        << R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t","process":{"pid":2,"ppid":1,"path":"/bin/)";
    repeat('a', pathSize) << R"("}})";
    // The line is held by the reader, the store and the node (path and name)
    // and written once more into the tree JSON.
    EXPECT_EQ(load(8.0, 0).procPreviews, 1u);
    ASSERT_EQ(keeper.ws.loader.processTree().nodes().size(), 1u);
    EXPECT_EQ(keeper.ws.loader.processTree().nodes()[0].name.size(), pathSize);
    EXPECT_GT(keeper.ws.store.jsonTreeRaw().size(), pathSize);
}

// An eslogger exec message: pid, ppid 1, the executable's path as eslogger
// writes it ("/" as "\/"), and `extra` members in the event.
std::string esloggerExec(std::int64_t pid, std::string_view path, std::string_view extra = "") {
    const std::string process = R"({"audit_token":{"pid":)" + std::to_string(pid) +
                                R"(},"ppid":1,"executable":{"path":")" + std::string(path) +
                                R"("}})";
    return R"({"event_type":9,"time":"2026-08-12T15:28:33.510893468Z","process":)" + process +
           R"(,"event":{"exec":{"target":)" + process + std::string(extra) + "}}}";
}

// What eslogger logs bring: an exec may carry an environment of any size,
// and members nobody reads may nest deeply; the nesting past the parser's
// limit is refused, the others load. (Messages cut off anywhere, as a
// recorder killed while writing leaves them, are the decoder fuzz target's
// truncations of its eslogger seeds.)
TEST_F(HostileLogs, EsloggerMessagesHugeOrDeep) {
    *this << esloggerExec(50, R"(\/bin\/whole)", R"(,"env":["A=1","B=\/x"])") << "\n";
    const std::size_t vars = scaled(500'000);
    const std::string env = esloggerExec(51, R"(\/bin\/env)");
    *this << env.substr(0, env.size() - 3) << R"(,"env":[)";
    for (std::size_t i = 0; i < vars; ++i) {
        *this << (i > 0 ? ",\"" : "\"") << "VARIABLE_" << std::to_string(i) << R"(=\/usr\/bin")";
    }
    *this << "]}}}\n";
    constexpr std::size_t kDepth = 100'000;
    const std::string head =
        R"({"time":"t","process":{"audit_token":{"pid":1}},"event":{"mmap":{"source":)";
    *this << head;
    repeat('[', kDepth).repeat(']', kDepth) << "}}}\n" << head;
    repeat('[', 500).repeat(']', 500) << "}}}\n" << esloggerExec(52, R"(\/bin\/after)") << "\n";
    const LineAccount account = load(8.0, 0);
    EXPECT_EQ(account.refused, 1u);
    EXPECT_EQ(account.procPreviews, 3u);
    EXPECT_EQ(account.mappingOnly, 1u);
    EXPECT_EQ(keeper.ws.loader.processTree().nodes()[2].name, "after");
}

// Each level of nesting is indented two spaces more in the detail text, so a
// line of nested arrays, harmless to load, used to make a detail text a
// thousand times its size when its row was picked.
TEST_F(HostileLogs, NestedArraysDoNotMultiplyTheDetailText) {
    auto nestedLine = [](std::size_t depth, std::size_t repeats) {
        std::string line =
            R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t","process":{"pid":2,"ppid":1,"path":"/bin/x"},"x":[)";
        for (std::size_t i = 0; i < repeats; ++i) {
            line += (i > 0 ? "," : "") + std::string(depth, '[') + std::string(depth, ']');
        }
        return line + "]}";
    };
    const std::string bomb = nestedLine(1000, 100);
    const std::string modest = nestedLine(20, 10);
    *this << bomb << "\n" << modest << "\n";
    ASSERT_EQ(load(8.0, 0).procPreviews, 2u);

    keeper.ws.selection.selectEvent(keeper.ws.store.rows(RowKind::process).placeOf(0));
    // Too large to be made readable: shown as it stands.
    EXPECT_EQ(keeper.ws.selection.activeEventJson(), bomb);
    keeper.ws.selection.selectEvent(keeper.ws.store.rows(RowKind::process).placeOf(1));
    EXPECT_EQ(keeper.ws.selection.activeEventJson(), prettyPrintedJson(modest));
    EXPECT_NE(keeper.ws.selection.activeEventJson(), modest);
}

// Each kind of refusal has its case with the decoder; here they come in bulk.
TEST_F(HostileLogs, EveryLineBroken) {
    const std::string good = procLine(kExec, 40, 1, "/bin/broken");
    const std::string kinds[] = {
        good.substr(0, good.size() - 1),  // cut short
        R"({"event":"ES_EVENT_TYPE_NOTIFY_FORK","timestamp":"t","process":{"pid":"1","ppid":1}})",
        R"({"event":"ES_EVENT_TYPE_NOTIFY_OPEN","timestamp":"t","file":{"pid":1}})",
        "[]\nnull\n\"string\"\n{\n}",
        "{'event':'x','timestamp':'t'}\n\t \x0b\n\x1b[31m\n<script>alert(1)</script>",
        // An eslogger message cut short, and one whose exec has no target.
        esloggerExec(41, R"(\/bin\/cut)").substr(0, 60),
        R"({"time":"t","process":{"audit_token":{"pid":1}},"event":{"exec":{"args":[]}}})",
    };
    const std::size_t n = scaled(20'000);
    for (std::size_t i = 0; i < n; ++i) {
        for (const std::string& kind : kinds) {
            *this << kind << "\n";
        }
    }
    // Kept by reference, broken lines weigh like rows: well under the log.
    const LineAccount account = load(0.6, 16);
    EXPECT_EQ(account.refused, account.lines);
    EXPECT_EQ(keeper.ws.store.jsonTreeRaw(), kTreeOfNothing);
}

// A line longer than a row can keep is skipped as it is read, in memory that
// does not grow with it; its error says how long it was, and the lines after
// it load at their own numbers.
TEST_F(HostileLogs, LineLongerThanARowCanKeep) {
    *this << procLine(kExec, 2, 1, "/bin/before") << "\n";
    repeat('a', detail::kLongestLine + 5) << "\n";
    *this << procLine(kExec, 3, 1, "/bin/after") << "\n";
    const LineAccount account = load(2.2, 0);
    EXPECT_EQ(account.refused, 1u);
    EXPECT_EQ(account.procPreviews, 2u);
}

// Broken lines past the list's bound are counted, not kept: the count and
// the numbers of the lines after them stay exact (the accounting checks
// both), in memory that does not grow with them.
TEST_F(HostileLogs, BrokenLinesPastTheListedBound) {
    const std::size_t n = scaled(3'000'000);
    for (std::size_t i = 0; i < n; ++i) {
        if (i % 250'000 == 0) {
            *this << procLine(kExec, static_cast<std::int64_t>(i) + 2, 1, "/bin/between") << "\n";
        }
        *this << "x\n";
    }
    const LineAccount account = load(0.6, 16);
    EXPECT_EQ(account.refused, n);
    const LoadErrors& errors = keeper.ws.store.loadErrors();
    EXPECT_EQ(errors.size(), n);
    if (scaled(10) == 10) {
        EXPECT_GT(errors.folded(), 0u);
        EXPECT_LT(errors.bytesUsed(), LoadErrors::kListedBytes + 2 * kMiB);
    }
}

// Blank lines are load errors, each kept as a reference to its place and
// read back when shown: a log of nothing but line feeds weighs a few bytes a
// line, not a string each.
TEST_F(HostileLogs, FiveMillionEmptyLines) {
    const std::size_t n = scaled(5'000'000);
    repeat('\n', n);
    EXPECT_EQ(load(0.0, 8).refused, n);
}

// A log rewritten in place after loading: no line of it is tested as text it
// no longer holds. A `json:` term counts its rows apart
// instead of matching the message that stands in for them.
TEST_F(HostileLogs, LogChangedInPlaceAfterLoading) {
    const std::string kept = procLine(kExec, 60, 1, "/bin/kept");
    *this << procLine(kExec, 61, 1, "/bin/a") << "\n"
          << "broken line\n"
          << kept << "\n";
    load(8.0, 0);
    const EventStore& store = keeper.ws.store;
    ASSERT_EQ(store.rows(RowKind::process).size(), 2u);
    // The first two lines overwritten byte for byte, the last one left.
    {
        std::fstream log(path, std::ios::in | std::ios::out | std::ios::binary);
        log << std::string(readAll(path).size() - kept.size() - 1, 'x');
    }
    const RowsSnapshot snap = RowsSnapshot::of(store);
    const struct {
        const char* query;
        RowNumbers shown;
    } cases[] = {
        {"json:NOTIFY", {1}},
        {"json:\"changed on disk\"", {}},
        {"-json:kept", {}},
        {"pid:60 json:NOTIFY", {1}},  // the changed row fails pid: and is not read
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query);
        const FilterQuery query = *parseFilterQuery(c.query).query;
        RowNumbers unreadable;
        FilterControl control;
        control.unreadable = &unreadable;
        EXPECT_EQ(*matchingRows(snap.rows[RowKind::process], snap, query, 0,
                                snap.rows[RowKind::process].size(), control),
                  c.shown);
        EXPECT_EQ(unreadable, c.query[0] == 'p' ? RowNumbers{} : RowNumbers{0});
    }
}

// Identical lines each keep an id of their own (the accounting finds every
// line's entry by its id). Half a million lines with a tighter allowance per
// line show a cost per line as two million did with the usual one.
TEST_F(HostileLogs, IdenticalLines) {
    const std::size_t n = scaled(500'000);
    const std::string line = procLine("ES_EVENT_TYPE_NOTIFY_FORK", 12, 1, "/bin/sh") + "\n";
    for (std::size_t i = 0; i < n; ++i) {
        *this << line;
    }
    EXPECT_EQ(load(2.0, 384).procPreviews, n);
}

// A tiny file that expands without end (the same zstd frame again and
// again, some 100 GB of lines in all) loads lines until it is cancelled,
// with its progress counted in compressed bytes.
TEST_F(HostileLogs, CompressedBombLoadsUntilCancelled) {
    std::string lines;
    while (lines.size() < 16 * kMiB) {
        lines += procLine(kExec, 7, 1, "/bin/sh") + "\n";
    }
    const std::string frame = testsupport::zstdCompressed(lines, 19);
    for (int i = 0; i < 6000; ++i) {
        *this << frame;
    }
    out_.close();
    bool cancelled = false;
    keeper.ws.observers.observe([&](StoreField f) {
        const LoadFigures& figures = keeper.ws.loader.progress().figures;
        if (f == StoreField::loadProgress && !cancelled && figures.lines > 300'000) {
            cancelled = true;
            EXPECT_GT(figures.bytesRead, 0u);
            EXPECT_LT(figures.bytesRead, figures.bytesTotal);
            keeper.ws.loader.cancel();
        }
    });
    keeper.ws.loader.loadJsonFile(path);
    keeper.tasks.runUntil([&] { return !keeper.ws.loader.outcomes().empty(); });
    const LoadOutcome& outcome = keeper.ws.loader.outcomes()[0];
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_EQ(outcome.figures.bytesTotal, frame.size() * 6000);
    const auto perFrame = static_cast<std::size_t>(std::count(lines.begin(), lines.end(), '\n'));
    std::string read;
    for (std::size_t i = 0; i <= outcome.figures.lines / perFrame; ++i) {
        read += lines;
    }
    EXPECT_EQ(checkAccounting(read, keeper.ws, {}, nullptr, outcome.figures.lines), "");
}

}  // namespace
}  // namespace korvantis

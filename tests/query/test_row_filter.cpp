// Filtering and exporting a snapshot of a loaded store, as the viewer's
// workers do, against a plain walk over the store's own entries; and the
// query edits of the row actions.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "input/temp_files.h"
#include "output/snapshot_export.h"
#include "query/filter_pass.h"
#include "query/query_edit.h"
#include "query/row_filter.h"
#include "query/rows_snapshot.h"
#include "query/trace_summary.h"
#include "query/tree_set_cache.h"
#include "support/loading.h"

namespace korvantis {
namespace {

using testing::readAll;
using testing::TempDir;

const char* const kSamples[] = {KORVANTIS_SAMPLES_DIR "/sample.json",
                                KORVANTIS_SAMPLES_DIR "/eslogger.json"};

// The reference: every row of a list, matched one by one with the store's
// own values.
RowNumbers plainFilter(const EventStore& store, const PreviewRows& entries,
                       const FilterQuery& query) {
    RowNumbers out;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const RowView row = store.row(entries.kind(), i);
        const std::string raw = store.lineText(entries.placeOf(i)).value_or("");
        if (query.matches(row, [&]() -> std::string_view { return raw; })) {
            out.push_back(static_cast<std::uint32_t>(i));
        }
    }
    return out;
}

// Each list's rows, the shown ones in their order or all of them, as JSON
// lines; nothing once stopped, or once a raw line cannot be read again.
TEST(RowFilter, ExportsShownRowsInOrderOrNothing) {
    TempDir dir;
    const std::string log = dir.write("log.json", readAll(kSamples[0]));
    const std::string es = dir.write("es.json", readAll(kSamples[1]));
    testsupport::LoadingWorkspace w;
    w.load({log, es});
    const EventStore& store = w.ws.store;
    const RowsSnapshot snap = RowsSnapshot::of(store);
    ASSERT_GE(snap.rows[RowKind::process].size(), 3u);
    ASSERT_GE(snap.rows[RowKind::file].size(), 1u);
    ASSERT_GE(snap.rows[RowKind::other].size(), 1u);
    auto linesOf = [&](const auto& list, const RowNumbers* shown) {
        std::string text;
        for (std::size_t n = 0; n < (shown ? shown->size() : list.size()); ++n) {
            text += *store.lineText(list.placeOf(shown ? (*shown)[n] : n)) + "\n";
        }
        return text;
    };
    const RowNumbers shown = {2, 0};
    const struct {
        ExportedRows rows;
        std::string want;
    } cases[] = {
        {{RowKind::process, &shown}, linesOf(store.rows(RowKind::process), &shown)},
        {{RowKind::file, nullptr}, linesOf(store.rows(RowKind::file), nullptr)},
        {{RowKind::other, nullptr}, linesOf(store.rows(RowKind::other), nullptr)},
    };
    const std::string target = (dir.path() / "out.jsonl").string();
    for (const auto& c : cases) {
        const ExportResult done = exportSnapshotRows(target, ExportFormat::jsonLines, snap, c.rows);
        ASSERT_TRUE(done.ok()) << done.error;
        EXPECT_EQ(readAll(target), c.want);
    }

    const std::atomic<bool> stop{true};
    const std::string stopped = (dir.path() / "stopped.jsonl").string();
    EXPECT_EQ(exportSnapshotRows(stopped, ExportFormat::jsonLines, snap, {}, &stop).error,
              "The export of \"" + stopped + "\" was stopped.");
    EXPECT_FALSE(std::filesystem::exists(stopped));

    // The log rewritten after loading: the export fails and leaves the old file.
    dir.write("log.json", std::string(readAll(log).size(), 'x'));
    const ExportResult failed =
        exportSnapshotRows(target, ExportFormat::jsonLines, snap, {RowKind::process, nullptr});
    EXPECT_NE(failed.error.find(kLogChangedText), std::string::npos) << failed.error;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);
    EXPECT_NE(readAll(target).find('{'), std::string::npos);
}

TEST(RowFilter, NarrowingQueries) {
    const struct {
        const char* older;
        const char* newer;
        bool narrows;
    } cases[] = {
        {"", "lib", true},
        {"Li", "lib", true},
        {"lib", "li", false},
        {"path:us", "path:/usr x", true},
        {"path:us", "us", false},  // plain text matches more fields
        {"-path:/usr/lib", "-path:/usr", true},
        {"-path:/usr", "-path:/usr/lib", false},
        {"pid:12", "pid:12 type:exec", true},
        {"pid:12", "pid:123", false},
        {"type:exec", "-type:exec", false},
        {"tree:1", "tree:1 x", false},
        {"json:ab", "json:abc", true},
        // A row with tag ab need not have tag a.
        {"tag:a", "tag:ab", false},
        {"tag:ab", "tag:AB x", true},
        {"note:cu", "note:curl", true},
        // Time bounds compare as moments, not as texts typed on: 2026 is a
        // moment of 1970.
        {"before:2026", "before:2026-08-12", false},
        {"after:2026", "after:2026-08-12", true},
        {"after:2026-08-12", "after:2026", false},
        {"before:2026-08-12", "before:2026-08-11T23:59", true},
        {"-after:2026-08-12", "-after:2026-08-11", true},
        {"-after:2026-08-11", "-after:2026-08-12", false},
        {"-before:2026-08-11", "-before:2026-08-12", true},
        {"after:1765000000", "before:1765000001", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.older) + " -> " + c.newer);
        EXPECT_EQ(narrows(*parseFilterQuery(c.newer).query, *parseFilterQuery(c.older).query),
                  c.narrows);
    }
}

// A list filtered in one pass shows what a plain walk over the store's own
// entries shows. Filtered in two passes, as while a load runs (the second
// over the rows that arrived, with more processes under a tree), or a
// narrower query over the rows a broader one showed, it shows what one pass
// over every row shows (ranges matched one after another, and matching among
// given rows, are checked here); a stopped pass gives nothing. One cache of
// tree sets serves every pass, as it serves a window's.
TEST(FilterPass, AgreesWithPlainWalkAndOnePass) {
    testsupport::LoadingWorkspace w;
    w.load(std::vector<std::string>{kSamples[0], kSamples[1]});
    const EventStore& store = w.ws.store;
    PerKind<std::size_t> sizes{};
    for (const RowKind kind : kRowKinds) {
        sizes[kind] = store.rows(kind).size();
        ASSERT_GT(sizes[kind], 0u);
    }
    const std::string root = std::to_string(store.rows(RowKind::process)[0].pid);
    const std::string somePid = std::to_string(store.rows(RowKind::process)[1].pid);
    // The reference binds its tree terms from the store's own entries.
    std::vector<ProcessLink> links;
    for (const auto& p : store.rows(RowKind::process)) {
        links.push_back({p.pid, p.ppid});
    }
    TreeSetCache cache;
    const auto pass = [&](RowKind list, const std::string& text, std::size_t share, bool all,
                          std::size_t from, std::shared_ptr<const FilterQuery> bound,
                          std::shared_ptr<const RowNumbers> candidates = nullptr,
                          bool stopped = false, std::size_t partRows = kFilterPartRows) {
        // The first `share` of 4 quarters of every list, or all of them.
        const auto part = [&](std::size_t n) { return all ? n : n * share / 4; };
        PerKind<std::size_t> parts{};
        for (const RowKind kind : kRowKinds) {
            parts[kind] = part(sizes[kind]);
        }
        FilterPass p{list,
                     std::make_shared<const FilterQuery>(*parseFilterQuery(text).query),
                     std::move(bound),
                     RowsSnapshot::of(store, parts),
                     from,
                     parts[list],
                     true,
                     std::make_shared<std::atomic<bool>>(stopped),
                     std::move(candidates)};
        p.replace = p.bound == nullptr;  // a first pass replaces, a later one appends
        p.partRows = partRows;
        return runFilterPass(p, cache, nullptr);
    };
    const std::string queries[] = {"",
                                   "type:exec",
                                   "-type:exec",
                                   "path:/usr",
                                   "pid:" + somePid,
                                   "tree:" + somePid,
                                   "tree:" + root,
                                   "tree:1 -path:bin",
                                   "json:audit_token",
                                   "-json:\"pid\" type:open",
                                   "json:pid -path:usr",
                                   "-level:low outcome:e"};
    for (const RowKind list : kRowKinds) {
        const std::size_t size = sizes[list];
        for (const std::string& text : queries) {
            SCOPED_TRACE(text);
            const RowNumbers whole = pass(list, text, 4, true, 0, nullptr)->rows;
            FilterQuery reference = *parseFilterQuery(text).query;
            reference.bindTrees(links);
            EXPECT_EQ(whole, plainFilter(store, store.rows(list), reference));
            // Cut into parts of a few rows matched side by side: the same rows.
            EXPECT_EQ(pass(list, text, 4, true, 0, nullptr, nullptr, false, 2)->rows, whole);
            for (std::size_t share = 0; share <= 3; ++share) {
                const FilterPassResult first = *pass(list, text, share, false, 0, nullptr);
                FilterPassResult second = *pass(list, text, 4, true, size * share / 4, first.bound);
                RowNumbers both = first.rows;
                if (!second.replace) {
                    both.insert(both.end(), second.rows.begin(), second.rows.end());
                }
                EXPECT_EQ(second.replace ? second.rows : both, whole) << share;
            }
            // Typing on: only the shown rows are looked at again.
            const RowNumbers broader = pass(list, "-path:zzz", 4, true, 0, nullptr)->rows;
            const auto candidates = std::make_shared<const RowNumbers>(broader);
            EXPECT_EQ(pass(list, text, 4, true, size, nullptr, candidates)->rows, whole);
            EXPECT_EQ(pass(list, text, 4, true, size, nullptr, candidates, false, 3)->rows, whole);
        }
    }
    EXPECT_FALSE(pass(RowKind::process, "x", 4, true, 0, nullptr, nullptr, true));
    EXPECT_FALSE(pass(RowKind::process, "x", 4, true, 0, nullptr, nullptr, true, 1));
}

TEST(QueryEdit, RowActions) {
    // What stays of each query before an edit adds its term: `kept` (the
    // query with its terms one space apart) unless the edit's own column says.
    const struct {
        const char* query;
        const char* kept;
        const char* pid = nullptr;      // withProcessTerm(query, "pid", 42)
        const char* path = nullptr;     // withHiddenPath(query, "/a b/c")
        const char* uid = nullptr;      // withFactTerm(query, uid, "501")
        const char* signer = nullptr;   // withFactTerm(query, signing_id, "com.a b")
        const char* noRange = nullptr;  // withoutTimeRange(query), nothing added
    } cases[] = {
        {.query = "", .kept = ""},
        {.query = "type:exec", .kept = "type:exec"},
        {.query = "PID:7  path:\"x y\"\ttree:3",
         .kept = "PID:7 path:\"x y\" tree:3",
         .pid = "path:\"x y\""},
        {.query = "-pid:7 pidx:1 \"pid:8\"", .kept = "-pid:7 pidx:1 \"pid:8\""},
        // Already hidden: the term is not written twice.
        {.query = "-path:\"/a b/c\"", .kept = "-path:\"/a b/c\"", .path = ""},
        {.query = "UID:0 -uid:7 signing_id:x",
         .kept = "UID:0 -uid:7 signing_id:x",
         .uid = "-uid:7 signing_id:x",
         .signer = "UID:0 -uid:7"},
        // A range replaces the time bounds written before, not negated ones.
        {.query = "AFTER:2026 x before:1\t-after:5 \"after:3\"",
         .kept = "AFTER:2026 x before:1 -after:5 \"after:3\"",
         .noRange = "x -after:5 \"after:3\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query);
        const auto then = [&](const char* kept, const std::string& term) {
            const std::string before = kept != nullptr ? kept : c.kept;
            return before.empty() ? term : before + " " + term;
        };
        const std::string noRange = c.noRange != nullptr ? c.noRange : c.kept;
        EXPECT_EQ(withProcessTerm(c.query, "pid", 42), then(c.pid, "pid:42"));
        EXPECT_EQ(withHiddenPath(c.query, "/a b/c"), then(c.path, "-path:\"/a b/c\""));
        EXPECT_EQ(withFactTerm(c.query, Fact::uid, "501"), then(c.uid, "uid:501"));
        EXPECT_EQ(withFactTerm(c.query, Fact::signing_id, "com.a b"),
                  then(c.signer, "signing_id:\"com.a b\""));
        EXPECT_EQ(withoutTimeRange(c.query), noRange);
        // A summary's line adds its terms and keeps the user's own.
        EXPECT_EQ(
            withSummaryLine(c.query, {SummaryLine::Kind::type, "ES_EVENT_TYPE_NOTIFY_OPEN", 0}),
            then(nullptr, "type:\"ES_EVENT_TYPE_NOTIFY_OPEN\""));
        EXPECT_EQ(
            withSummaryLine(c.query, {SummaryLine::Kind::second, "", 1'765'000'000'000'000'000}),
            then(nullptr,
                 "after:2025-12-06T05:46:40.000000000Z before:2025-12-06T05:46:41.000000000Z"));
        // A range keeps exactly the rows of [from, to).
        const std::int64_t from = 1'765'000'000'000'000'001;
        const std::string ranged = withTimeRange(c.query, from, from + 1'500'000'000);
        EXPECT_EQ(ranged, (noRange.empty() ? "" : noRange + " ") +
                              "after:2025-12-06T05:46:40.000000001Z "
                              "before:2025-12-06T05:46:41.500000001Z");
        EXPECT_TRUE(parseFilterQuery(ranged).query);
        // Every edit is a valid query.
        EXPECT_TRUE(parseFilterQuery(withProcessTerm(c.query, "tree", 42)).query);
    }
    // A quote cannot be written inside a term: the path is cut before it.
    EXPECT_EQ(withHiddenPath("", "/tmp/a\"b"), "-path:\"/tmp/a\"");
    EXPECT_EQ(withHiddenPath("q", ""), "q");
    EXPECT_EQ(withFactTerm("", Fact::signing_id, "a\"b"), "signing_id:\"a\"");
    EXPECT_EQ(withFactTerm("q", Fact::signing_id, ""), "q");
    // Each summary click replaces what the one before wrote, wherever the
    // user moved it, and leaves the rest.
    using K = SummaryLine::Kind;
    const struct {
        SummaryLine line;
        const char* typedBefore;  // the field as the user left it before the click
        const char* after;
    } clicks[] = {
        {{K::path, "/a b", 0}, "path:a -path:b", "path:a -path:b path:\"/a b\""},
        {{K::program, "/bin/ls", 0}, "x path:\"/a b\" path:a", "x path:a process_path:\"/bin/ls\""},
        {{K::second, "", 1'765'000'000'000'000'000},
         "x path:a process_path:\"/bin/ls\"",
         "x path:a after:2025-12-06T05:46:40.000000000Z before:2025-12-06T05:46:41.000000000Z"},
        {{K::type, "T", 0},
         "before:2025-12-06T05:46:41.000000000Z x after:2025-12-06T05:46:40.000000000Z",
         "x type:\"T\""},
        // A name cut to nothing writes nothing and keeps the last click's terms.
        {{K::path, "\"q", 0}, "x type:\"T\"", "x type:\"T\""},
        {{K::path, "/tmp/a\"b", 0}, "x type:\"T\"", "x path:\"/tmp/a\""},
    };
    std::string previous;
    for (const auto& c : clicks) {
        EXPECT_EQ(withSummaryLine(c.typedBefore, c.line, previous), c.after) << c.typedBefore;
        if (const std::string terms = summaryLineTerms(c.line); !terms.empty()) {
            previous = terms;
        }
    }
}

}  // namespace
}  // namespace korvantis

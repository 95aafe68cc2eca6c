#include <gtest/gtest.h>
#include <unistd.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "input/temp_files.h"
#include "support/accounting.h"
#include "support/loading.h"
#include "support/log_lines.h"

namespace korvantis {
namespace {

using testing::TempDir;
using testsupport::LoadingWorkspace;
using Fields = std::vector<StoreField>;
using Texts = std::vector<std::string>;
using testsupport::fileLine;
using testsupport::procLine;

// A log that cannot be opened is told, by name and the system's reason, as a
// load error of no line and in the progress; nothing else changes, and the
// log after it loads.
TEST(Loading, UnopenablePathsAreToldAndTheNextLoads) {
    TempDir dir;
    const std::string good =
        dir.write("good.json", procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 5, 1, "/bin/a") + "\n");
    const struct {
        std::string path;
        std::string failure;
    } cases[] = {
        {(dir.path() / "missing.json").string(),
         "Could not open missing.json: No such file or directory"},
        {dir.path().string(),
         "Could not open " + dir.path().filename().string() + ": Is a directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        LoadingWorkspace w;
        Fields told;
        w.ws.observers.observe([&](StoreField f) { told.push_back(f); });
        w.load(c.path);
        const LoadOutcome& outcome = w.ws.loader.outcomes().at(0);
        EXPECT_FALSE(outcome.opened);
        EXPECT_EQ(outcome.openFailure, c.failure);
        EXPECT_EQ(w.ws.loader.progress().openFailure, c.failure);
        ASSERT_EQ(w.ws.store.loadErrors().size(), 1u);
        EXPECT_EQ(w.ws.store.loadErrorText(0), c.failure);
        EXPECT_EQ(w.ws.store.loadErrorOriginName(0),
                  std::filesystem::path(c.path).filename().string());
        EXPECT_TRUE(w.ws.store.lineRefs().empty());
        EXPECT_EQ(w.ws.store.logFiles().size(), 0u);
        EXPECT_EQ(std::count(told.begin(), told.end(), StoreField::processRows), 0);
        EXPECT_EQ(w.ws.store.jsonTreeRaw(),
                  R"([{"name":"launchd","children":[{"name":"Untracked Heritage"}]}])");
        // The next log loads; asked for after all loads ran, it clears the
        // progress's failure.
        w.load(good);
        EXPECT_EQ(w.ws.store.rows(RowKind::process).size(), 1u);
        EXPECT_EQ(w.ws.loader.progress().openFailure, "");
        EXPECT_EQ(w.ws.store.loadErrors().size(), 1u);
    }
}

// Which lines become process rows, file rows, errors, or are only mapped, as
// the accounting's own reading of each line says (it also reads every stored
// line and error back); the figures pin that reading. A large mix of the
// same lines, read in many batches by the workers and loaded twice, is filed
// the same way, and its rows, across many blocks of the lists, are chosen by id.
TEST(Loading, EachKindOfLineAndALargeMixOfThem) {
    using namespace std::string_literals;
    const std::string bom = "\xEF\xBB\xBF";
    const std::string fork = procLine("ES_EVENT_TYPE_NOTIFY_FORK", 12, 1, "/bin/sh", "17.1");
    Texts lines = {
        fork,
        fork,  // identical lines get different ids
        // Without a process there is no row; without a path the path is empty.
        R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t"})",
        R"({"event":"ES_EVENT_TYPE_NOTIFY_FORK","timestamp":"t","process":{"pid":3,"ppid":2}})",
        // A rename is filed under its new name.
        R"({"event":"ES_EVENT_TYPE_NOTIFY_RENAME","timestamp":"t","fileOld":{"destination":"/old"},)"
        R"("file":{"pid":4,"destination":"/new"}})",
        // Other events, and the known names in another case or with more, are only mapped.
        fileLine("es_event_type_notify_open", 1, "/x"),
        procLine("ES_EVENT_TYPE_NOTIFY_EXIT", 1, 0, "/x"),
        procLine("ES_EVENT_TYPE_NOTIFY_EXECX", 1, 0, "/x"),
        // Refused lines are kept as read; a file event without a file is
        // mapped and an error too.
        "",
        "bad \xFF line",
        R"({"event":"ES_EVENT_TYPE_NOTIFY_WRITE","timestamp":"t1","process":{"pid":7,"ppid":1,"path":"/bin/cat"},)"
        R"("fileOld":{"destination":"/old"}})",
        // NUL bytes: lines of them, raw in a string, after or before the
        // object are refused; escaped, a NUL is text like any other.
        "\0\0\0"s,
        "\0"s,
        procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 20, 1, "/bin/\0raw"s),
        procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 21, 1, "/bin/a\\u0000b"),
        procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 22, 1, "/bin/ok") + "\0"s,
        "\0"s + procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 23, 1, "/bin/lead"),
        // A byte-order mark opens only the file (see below), not a later line.
        bom + procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 51, 1, "/bin/second"),
        procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 52, 1, "/bin/third" + bom),
        // Line ends of CR LF: the CR stays with the line, a row's text included.
        procLine("ES_EVENT_TYPE_NOTIFY_FORK", 13, 10, "/bin/sh") + "\r",
        fileLine("ES_EVENT_TYPE_NOTIFY_CLOSE", 13, "/tmp/f") + "\r",
        "\r",
        procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 12, 11, std::string(20000, 'p')),
    };
    for (std::string_view event :
         {"ES_EVENT_TYPE_NOTIFY_OPEN", "ES_EVENT_TYPE_NOTIFY_CLOSE", "ES_EVENT_TYPE_NOTIFY_WRITE",
          "ES_EVENT_TYPE_NOTIFY_RENAME", "ES_EVENT_TYPE_NOTIFY_LINK", "ES_EVENT_TYPE_NOTIFY_UNLINK",
          "ES_EVENT_TYPE_NOTIFY_CREATE"}) {
        lines.push_back(fileLine(event, 9, "/tmp/x"));
    }
    TempDir dir;
    LoadingWorkspace w;
    w.load(dir.write("kinds.json", bom + testsupport::joinedLines(lines)));
    testsupport::LineAccount account;
    EXPECT_EQ(
        testsupport::checkAccounting(bom + testsupport::joinedLines(lines), w.ws, {}, &account),
        "");
    EXPECT_EQ(
        (std::vector<std::size_t>{account.procPreviews, account.filePreviews, account.mappingOnly,
                                  account.refused, account.fileWithoutFile}),
        (std::vector<std::size_t>{7, 9, 5, 9, 1}));
    // Each error knows its log; a NUL in a node's name is escaped in the tree.
    EXPECT_EQ(w.ws.store.loadErrorOriginName(4), "kinds.json");
    EXPECT_NE(w.ws.store.jsonTreeRaw().find(R"({"name":"a\u0000b"})"), std::string::npos);
    Texts mix;
    std::uint64_t state = 7;
    for (int i = 0; i < 20000; ++i) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        mix.push_back(lines[(state >> 33) % lines.size()]);
    }
    const std::string text = testsupport::joinedLines(mix);
    for (const char* name : {"mixed.json", "again.json"}) {
        const testsupport::StoreSizes before = testsupport::storeSizes(w.ws);
        w.load(dir.write(name, text));
        EXPECT_EQ(testsupport::checkAccounting(text, w.ws, before), "");
    }
    const EventStore& store = w.ws.store;
    EventSelection& selection = w.ws.selection;
    for (const RowKind kind : kRowKinds) {
        const PreviewRows& rows = store.rows(kind);
        for (std::size_t i = 0; i < rows.size(); i += 89) {
            selection.selectEvent(rows.placeOf(i));
            ASSERT_TRUE(selection.activeRow(kind));
            ASSERT_EQ(selection.activeRow(kind)->row, rows[i]);
            ASSERT_EQ(store.rowOf(kind, rows.placeOf(i)), RowIndex(i));
        }
    }
}

// The published lists are announced before they change, in batches, and so
// is a load of file rows only.
TEST(Loading, AnnouncementsComeBeforeTheChange) {
    TempDir dir;
    LoadingWorkspace w;
    std::vector<std::pair<StoreField, std::size_t>> told;
    const EventStore& store = w.ws.store;
    w.ws.observers.observe([&](StoreField f) {
        if (f == StoreField::processRows || f == StoreField::fileRows ||
            f == StoreField::loadErrors) {
            told.emplace_back(f, store.rows(RowKind::process).size() +
                                     store.rows(RowKind::file).size() + store.loadErrors().size());
        }
    });
    w.load(dir.write("files.json",
                     testsupport::joinedLines({fileLine("ES_EVENT_TYPE_NOTIFY_OPEN", 1, "/a"),
                                               fileLine("ES_EVENT_TYPE_NOTIFY_CLOSE", 1, "/a")})));
    w.load(dir.write(
        "mixed.json",
        testsupport::joinedLines({procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 2, 1, "/a"), "broken"})));
    using P = std::pair<StoreField, std::size_t>;
    EXPECT_EQ(told, (std::vector<P>{P{StoreField::fileRows, 0}, P{StoreField::loadErrors, 2},
                                    P{StoreField::processRows, 3}}));
}

// Loads run in the order asked, after the call returns; a second load
// appends with new ids and keeps the selection; the tree spans both.
TEST(Loading, LoadsRunInOrderAndAppend) {
    TempDir dir;
    const std::string a =
        dir.write("a.json", procLine("ES_EVENT_TYPE_NOTIFY_FORK", 100, 1, "/bin/zsh"));
    const std::string b =
        dir.write("b.json", procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 101, 100, "/usr/bin/git"));
    LoadingWorkspace w;
    w.ws.loader.loadJsonFile(a);
    w.ws.loader.loadJsonFile(b);
    EXPECT_TRUE(w.ws.store.rows(RowKind::process).empty());
    EXPECT_EQ(w.ws.store.jsonTreeRaw(), "");
    w.tasks.runUntil([&] { return w.ws.loader.outcomes().size() == 2; });
    EXPECT_TRUE(w.ws.loader.idle());
    EXPECT_EQ(w.ws.store.rows(RowKind::process).size(), 2u);
    const RowView first = w.ws.store.rows(RowKind::process)[0];
    w.ws.selection.selectEvent(w.ws.store.rows(RowKind::process).placeOf(0));
    w.load(a);
    EXPECT_EQ(w.ws.store.rows(RowKind::process).size(), 3u);
    EXPECT_EQ(w.ws.selection.activeRow(RowKind::process)->row, first);
    EXPECT_EQ(
        w.ws.store.jsonTreeRaw(),
        R"([{"name":"launchd","children":[{"name":"Untracked Heritage"},{"name":"zsh","children":[{"name":"git"}]},{"name":"zsh"}]}])");
}

// Cancelling in the middle keeps every line read so far, filed and accounted
// for, builds the tree from them, says after how many lines it stopped, and
// drops the loads that were waiting.
TEST(Loading, CancelKeepsWhatWasReadAndDropsTheQueue) {
    Texts lines;
    for (int i = 0; i < 500000; ++i) {
        lines.push_back(i % 2 ? procLine("ES_EVENT_TYPE_NOTIFY_EXEC", i, i - 1, "/bin/p")
                              : fileLine("ES_EVENT_TYPE_NOTIFY_OPEN", i, "/f"));
    }
    const std::string text = testsupport::joinedLines(lines);
    TempDir dir;
    const std::string path = dir.write("big.json", text);
    LoadingWorkspace w;
    bool cancelled = false;
    w.ws.observers.observe([&](StoreField f) {
        if (f == StoreField::processRows && !cancelled) {
            cancelled = true;
            EXPECT_EQ(w.ws.loader.progress().queued, 1u);
            w.ws.loader.cancel();
            EXPECT_EQ(w.ws.loader.progress().queued, 0u);
        }
    });
    w.ws.loader.loadJsonFile(path);
    w.ws.loader.loadJsonFile(path);
    w.tasks.runUntil([&] { return w.ws.loader.idle() && !w.ws.loader.outcomes().empty(); });
    ASSERT_EQ(w.ws.loader.outcomes().size(), 1u);
    const LoadOutcome& outcome = w.ws.loader.outcomes()[0];
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_LT(outcome.figures.lines, lines.size());
    EXPECT_EQ(w.ws.loader.progress().cancelledAfter, outcome.figures.lines);
    EXPECT_EQ(w.ws.loader.progress().cancelledQueued, 1u);
    EXPECT_FALSE(w.ws.loader.progress().running);
    EXPECT_EQ(testsupport::checkAccounting(text, w.ws, {}, nullptr, outcome.figures.lines), "");
    // The tree holds every filed process, as a load of the lines read builds it.
    const auto read = lines.begin() + static_cast<std::ptrdiff_t>(outcome.figures.lines);
    LoadingWorkspace part;
    part.load(dir.write("part.json", testsupport::joinedLines(Texts(lines.begin(), read))));
    EXPECT_EQ(w.ws.store.jsonTreeRaw(), part.ws.store.jsonTreeRaw());
    // The store takes further loads as usual.
    const testsupport::StoreSizes before = testsupport::storeSizes(w.ws);
    w.load(path);
    EXPECT_EQ(testsupport::checkAccounting(text, w.ws, before), "");
}

// A log cut short while it loads ends the load at what could be read.
TEST(Loading, LogTruncatedWhileLoadingEndsAtWhatCouldBeRead) {
    Texts lines(100000, procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 3, 1, "/bin/p"));
    const std::string text = testsupport::joinedLines(lines);
    TempDir dir;
    const std::string path = dir.write("cut.json", text);
    LoadingWorkspace w;
    bool cut = false;
    w.ws.observers.observe([&](StoreField f) {
        if (f == StoreField::processRows && !cut) {
            cut = true;
            ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(text.size() / 2 + 7)), 0);
        }
    });
    w.load(path);
    // Where the reading was when the log was cut depends on timing: either
    // way, every line read is accounted for, the cut last line as an error.
    const LoadOutcome& outcome = w.ws.loader.outcomes().at(0);
    EXPECT_LE(outcome.figures.lines, lines.size());
    const EventStore& store = w.ws.store;
    EXPECT_EQ(store.rows(RowKind::process).size() + store.loadErrors().size(),
              outcome.figures.lines);
    EXPECT_LE(store.loadErrors().size(), 1u);
}

// Closing a window while its load runs: the workspace goes with tasks of the
// load still untaken, right after the load started or once the load waits
// for the window to take its rows; its threads stop and nothing more is run.
TEST(Loading, ClosingTheWindowWhileItsLoadRuns) {
    TempDir dir;
    const std::string path =
        dir.write("big.json", testsupport::joinedLines(Texts(
                                  200000, procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 3, 1, "/bin/p"))));
    // Posts after the one that starts the load: the log's opening and the
    // most hand-overs of rows before the load waits for them to be taken.
    for (const std::size_t postsBeforeClosing : {0, 1 + 4}) {
        TaskQueue tasks;
        std::mutex mutex;
        std::condition_variable posted;
        std::size_t posts = 0;
        {
            Workspace ws([&](TaskQueue::Task task) {
                tasks.post(std::move(task));
                std::lock_guard lock(mutex);
                ++posts;
                posted.notify_all();
            });
            ws.loader.loadJsonFile(path);
            tasks.runUntil([&] { return ws.loader.progress().running; });
            std::unique_lock lock(mutex);
            posted.wait(lock, [&] { return posts >= 1 + postsBeforeClosing; });
        }
        std::lock_guard lock(mutex);
        EXPECT_GE(posts, 1 + postsBeforeClosing);
    }
}

TEST(StoreObservers, ObserversMayComeAndGoWhileBeingTold) {
    StoreObservers observers;
    std::vector<std::string> told;
    StoreObservers::ObserverId self = 0, later = 0;
    self = observers.observe([&](StoreField) {
        told.push_back("self");
        observers.unobserve(self);  // removes itself while running
        later = observers.observe([&](StoreField) { told.push_back("later"); });
    });
    observers.observe([&](StoreField) { told.push_back("other"); });
    observers.announce(StoreField::showErrors);
    // The one added meanwhile is told from the next change on.
    EXPECT_EQ(told, (Texts{"self", "other"}));
    told.clear();
    observers.announce(StoreField::showErrors);
    EXPECT_EQ(told, (Texts{"other", "later"}));
    // One observer removing another that has not been told yet.
    told.clear();
    observers.observe([&](StoreField) {
        told.push_back("remover");
        observers.unobserve(later);
    });
    observers.unobserve(later);
    later = observers.observe([&](StoreField) { told.push_back("later"); });
    observers.announce(StoreField::showLegend);
    EXPECT_EQ(told, (Texts{"other", "remover"}));
}

}  // namespace
}  // namespace korvantis

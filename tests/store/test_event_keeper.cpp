#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <iterator>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "ingest/received_json.h"
#include "ingest/stream_reader.h"
#include "ingest/temp_files.h"
#include "store/event_keeper.h"

namespace korvantis {
namespace {

using testing::TempDir;
using Fields = std::vector<StoreField>;
using Texts = std::vector<std::string>;

std::string procLine(std::string_view event, int pid, int ppid, std::string_view path,
                     std::string_view ts = "t") {
    return "{\"event\":\"" + std::string(event) + "\",\"timestamp\":\"" + std::string(ts) +
           "\",\"process\":{\"pid\":" + std::to_string(pid) + ",\"ppid\":" + std::to_string(ppid) +
           ",\"path\":\"" + std::string(path) + "\"}}";
}

std::string fileLine(std::string_view event, int pid, std::string_view dest) {
    return "{\"event\":\"" + std::string(event) +
           "\",\"timestamp\":\"t\",\"process\":{\"pid\":5,\"ppid\":1},\"file\":{\"pid\":" +
           std::to_string(pid) + ",\"destination\":\"" + std::string(dest) + "\"}}";
}

std::string joined(const Texts& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

// Records what the observers are told, with the number of rows and errors at
// that moment, to check that the announcement comes before the change.
struct Recorder {
    Fields fields;
    std::vector<std::size_t> sizesSeen;

    explicit Recorder(EventKeeper& keeper) {
        keeper.observe([&keeper, this](StoreField field) {
            fields.push_back(field);
            sizesSeen.push_back(keeper.procPreviews().size() + keeper.filePreviews().size() +
                                keeper.loadErrors().size());
        });
    }
};

// The rows as text, with their node's name (process rows) and whether the row's
// id is the node's / is mapped.
Texts procRows(const EventKeeper& keeper) {
    Texts rows;
    EXPECT_EQ(keeper.nodes().size(), keeper.procPreviews().size());
    for (std::size_t i = 0; i < keeper.procPreviews().size() && i < keeper.nodes().size(); ++i) {
        const ProcPreviewEntry& e = keeper.procPreviews()[i];
        const Node& n = keeper.nodes()[i];
        rows.push_back(
            std::string(e.type) + "|" + std::string(e.timestamp) + "|" + std::to_string(e.pid) +
            "|" + std::to_string(e.ppid) + "|" + std::string(e.path) + "|" + std::string(n.name) +
            (std::tie(n.uid, n.path, n.pid, n.ppid) == std::tie(e.id, e.path, e.pid, e.ppid)
                 ? ""
                 : "|node differs") +
            (keeper.jsonMapping().contains(e.id) ? "" : "|unmapped"));
    }
    return rows;
}

Texts fileRows(const EventKeeper& keeper) {
    Texts rows;
    for (const FilePreviewEntry& e : keeper.filePreviews()) {
        rows.push_back(std::string(e.type) + "|" + std::string(e.timestamp) + "|" +
                       std::to_string(e.pid) + "|" + std::string(e.path) +
                       (keeper.jsonMapping().contains(e.id) ? "" : "|unmapped"));
    }
    return rows;
}

TEST(EventKeeper, UnopenablePathChangesNothingButBuildsTheTree) {
    TempDir dir;
    for (const std::string& path : {(dir.path() / "missing.json").string(), dir.path().string()}) {
        EventKeeper keeper;
        Recorder recorder(keeper);
        keeper.loadJsonFile(path);
        EXPECT_FALSE(keeper.lastLoadStats().opened);
        EXPECT_TRUE(keeper.loadErrors().empty());
        EXPECT_TRUE(keeper.jsonMapping().empty());
        EXPECT_TRUE(recorder.fields.empty());
        EXPECT_EQ(keeper.jsonTreeRaw(),
                  R"([{"name":"launchd","children":[{"name":"Untracked Heritage"}]}])");
    }
}

// Which lines become process rows (with a node), file rows, or are only mapped.
TEST(EventKeeper, RowsOfEachKind) {
    EventKeeper keeper;
    const std::string fork = procLine("ES_EVENT_TYPE_NOTIFY_FORK", 12, 1, "/bin/sh", "17.1");
    keeper.ingestJsonLine(fork);
    keeper.ingestJsonLine(fork);  // identical lines get different ids
    keeper.ingestJsonLine(
        R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t\u0031","process":{"pid":2,"ppid":1,"path":"\/bin\/\u00e9"}})");
    // Without a process there is no row; without a path the path is empty.
    keeper.ingestJsonLine(R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t"})");
    keeper.ingestJsonLine(
        R"({"event":"ES_EVENT_TYPE_NOTIFY_FORK","timestamp":"t","process":{"pid":3,"ppid":2}})");
    Texts wantFiles;
    for (std::string_view event :
         {"ES_EVENT_TYPE_NOTIFY_OPEN", "ES_EVENT_TYPE_NOTIFY_CLOSE", "ES_EVENT_TYPE_NOTIFY_WRITE",
          "ES_EVENT_TYPE_NOTIFY_RENAME", "ES_EVENT_TYPE_NOTIFY_LINK", "ES_EVENT_TYPE_NOTIFY_UNLINK",
          "ES_EVENT_TYPE_NOTIFY_CREATE"}) {
        keeper.ingestJsonLine(fileLine(event, 9, "/tmp/x"));
        wantFiles.push_back(std::string(event) +
                            "|t|9|/tmp/x");  // the file's pid, not the process's
    }
    // A rename is filed under its new name.
    keeper.ingestJsonLine(
        R"({"event":"ES_EVENT_TYPE_NOTIFY_RENAME","timestamp":"t","fileOld":{"destination":"/old"},)"
        R"("file":{"pid":4,"destination":"/new"}})");
    wantFiles.push_back("ES_EVENT_TYPE_NOTIFY_RENAME|t|4|/new");
    // Other events, and the known names in another case or with more, are only mapped.
    keeper.ingestJsonLine(fileLine("es_event_type_notify_open", 1, "/x"));
    for (std::string_view event : {"es_event_type_notify_exec", "ES_EVENT_TYPE_NOTIFY_EXIT",
                                   "ES_EVENT_TYPE_NOTIFY_EXECX", "ES_EVENT_TYPE_NOTIFY_"}) {
        keeper.ingestJsonLine(procLine(event, 1, 0, "/x"));
    }
    EXPECT_EQ(procRows(keeper), (Texts{"ES_EVENT_TYPE_NOTIFY_FORK|17.1|12|1|/bin/sh|sh",
                                       "ES_EVENT_TYPE_NOTIFY_FORK|17.1|12|1|/bin/sh|sh",
                                       "ES_EVENT_TYPE_NOTIFY_EXEC|t1|2|1|/bin/\xC3\xA9|\xC3\xA9",
                                       "ES_EVENT_TYPE_NOTIFY_FORK|t|3|2||"}));
    EXPECT_NE(keeper.procPreviews()[0].id, keeper.procPreviews()[1].id);
    EXPECT_EQ(keeper.jsonMapping().find(keeper.procPreviews()[0].id), fork);
    EXPECT_EQ(fileRows(keeper), wantFiles);
    EXPECT_TRUE(keeper.loadErrors().empty());
    EXPECT_EQ(keeper.jsonMapping().size(), 18u);
}

// Refused lines are kept as read; a file event without a file is mapped but is
// an error too.
TEST(EventKeeper, LoadErrors) {
    EventKeeper keeper;
    const std::string noFile =
        R"({"event":"ES_EVENT_TYPE_NOTIFY_WRITE","timestamp":"t1","process":{"pid":7,"ppid":1,"path":"/bin/cat"},)"
        R"("fileOld":{"destination":"/old"}})";
    keeper.ingestJsonLine("");
    keeper.ingestJsonLine("not json\r");
    keeper.ingestJsonLine(R"({"event":"E"})");
    keeper.ingestInvalidLine("bad \xFF line");
    keeper.ingestJsonLine(noFile);
    EXPECT_EQ(
        keeper.loadErrors(),
        (Texts{"", "not json\r", R"({"event":"E"})", "bad \xEF\xBF\xBD line",
               "Could not build file event from " + recordText(*decodeReceivedJson(noFile))}));
    EXPECT_TRUE(keeper.filePreviews().empty());
    // A refused line leaves no trace behind: the next line is stored whole.
    const std::string good = procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 2, 1, "/a");
    keeper.ingestJsonLine(good);
    ASSERT_EQ(keeper.jsonMapping().size(), 2u);
    EXPECT_EQ(keeper.jsonMapping().entry(0).text, noFile);
    EXPECT_EQ(keeper.jsonMapping().entry(1).text, good);
}

TEST(EventKeeper, AnnouncementsComeBeforeEachChange) {
    EventKeeper keeper;
    Recorder recorder(keeper);
    keeper.ingestJsonLine(procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 2, 1, "/a"));
    keeper.ingestJsonLine(fileLine("ES_EVENT_TYPE_NOTIFY_OPEN", 2, "/f"));
    keeper.ingestJsonLine(fileLine("ES_EVENT_TYPE_NOTIFY_OPEN", 2, "/g"));
    keeper.ingestJsonLine("broken");
    keeper.ingestJsonLine(R"({"event":"ES_EVENT_TYPE_NOTIFY_OPEN","timestamp":"t"})");
    keeper.ingestJsonLine(R"({"event":"other","timestamp":"t"})");
    keeper.ingestInvalidLine("\xFF");
    EXPECT_EQ(recorder.fields,
              (Fields{StoreField::procPreviews, StoreField::filePreviews, StoreField::filePreviews,
                      StoreField::loadErrors, StoreField::loadErrors, StoreField::loadErrors}));
    EXPECT_EQ(recorder.sizesSeen, (std::vector<std::size_t>{0, 1, 2, 3, 4, 5}));
    // A load of file rows only announces them too.
    recorder.fields.clear();
    TempDir dir;
    keeper.loadJsonFile(
        dir.write("files.json", joined({fileLine("ES_EVENT_TYPE_NOTIFY_OPEN", 1, "/a"),
                                        fileLine("ES_EVENT_TYPE_NOTIFY_CLOSE", 1, "/a")})));
    EXPECT_EQ(keeper.filePreviews().size(), 4u);
    EXPECT_EQ(recorder.fields, (Fields{StoreField::filePreviews, StoreField::filePreviews}));

    recorder.fields.clear();
    keeper.setShowErrors(true);
    keeper.setShowErrors(true);
    keeper.setShowLegend(false);
    EXPECT_EQ(recorder.fields,
              (Fields{StoreField::showErrors, StoreField::showErrors, StoreField::showLegend}));
    EXPECT_TRUE(keeper.showErrors());
}

// Invalid UTF-8 and broken lines become errors and the load goes on; loading
// again appends new rows with new ids and keeps the selection.
TEST(EventKeeper, LoadingGoesOnPastBadLinesAndTwiceDoubles) {
    TempDir dir;
    const std::string path =
        dir.write("log.json", joined({procLine("ES_EVENT_TYPE_NOTIFY_FORK", 100, 1, "/bin/zsh"),
                                      fileLine("ES_EVENT_TYPE_NOTIFY_OPEN", 100, "/etc/hosts"),
                                      "broken\r", "{\"event\":\"\xC3(\",\"timestamp\":\"t\"}",
                                      procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 100, 1, "/usr/bin/git"),
                                      R"({"event":"ES_EVENT_TYPE_NOTIFY_EXIT","timestamp":"t"})"}));
    EventKeeper keeper;
    keeper.loadJsonFile(path);
    EXPECT_EQ(keeper.lastLoadStats().lines, 6u);
    EXPECT_EQ(keeper.loadErrors(),
              (Texts{"broken\r", "{\"event\":\"\xEF\xBF\xBD(\",\"timestamp\":\"t\"}"}));
    EXPECT_EQ(
        keeper.jsonTreeRaw(),
        R"([{"name":"launchd","children":[{"name":"Untracked Heritage"},{"name":"zsh"},{"name":"git"}]}])");
    const ProcPreviewEntry first = keeper.procPreviews()[0];
    keeper.selectEvent(first.id);
    keeper.loadJsonFile(path);
    EXPECT_EQ(procRows(keeper).size(), 4u);
    EXPECT_EQ(keeper.filePreviews().size(), 2u);
    EXPECT_EQ(keeper.jsonMapping().size(), 8u);
    EXPECT_EQ(keeper.loadErrors().size(), 4u);
    EXPECT_EQ(keeper.activePreview(), first);
    EXPECT_NE(keeper.procPreviews()[2].id, first.id);
    EXPECT_EQ(keeper.procPreviews()[2].path, first.path);
}

TEST(EventKeeper, LoadsRunThroughTheExecutorInOrder) {
    TempDir dir;
    const std::string a = dir.write("a.json", procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 1, 0, "/a"));
    const std::string b = dir.write("b.json", procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 2, 0, "/b"));
    std::deque<EventKeeper::Task> queue;
    EventKeeper keeper([&queue](EventKeeper::Task task) { queue.push_back(std::move(task)); });
    keeper.loadJsonFile(a);
    keeper.loadJsonFile(b);
    // Nothing is loaded before the tasks run.
    EXPECT_TRUE(keeper.procPreviews().empty());
    EXPECT_EQ(keeper.jsonTreeRaw(), "");
    ASSERT_EQ(queue.size(), 2u);
    for (; !queue.empty(); queue.pop_front()) {
        queue.front()();
    }
    ASSERT_EQ(keeper.procPreviews().size(), 2u);
    EXPECT_EQ(keeper.procPreviews()[0].path, "/a");
    EXPECT_EQ(keeper.procPreviews()[1].path, "/b");
}

// A mixed log of many batches: loading it from a file (read and decoded on a
// helper thread) must file exactly what feeding its lines one by one files.
// The long lines fill several text blocks, so every kept view must survive
// the store growing.
TEST(EventKeeper, FileLoadEqualsLineByLine) {
    const std::string kinds[] = {
        procLine("ES_EVENT_TYPE_NOTIFY_FORK", 10, 1, "/bin/zsh"),
        procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 11, 10, "/usr/bin/caf\\u00e9", "t\\/1"),
        fileLine("ES_EVENT_TYPE_NOTIFY_OPEN", 11, "/tmp/a"),
        fileLine("ES_EVENT_TYPE_NOTIFY_RENAME", 11, "\\/tmp\\/\\\"b\\\""),
        R"({"event":"ES_EVENT_TYPE_NOTIFY_WRITE","timestamp":"t","fileOld":{"destination":"/o"}})",
        R"({"event":"ES_EVENT_TYPE_NOTIFY_EXIT","timestamp":"t"})",
        "broken\r",
        "",
        "bad \xC3\x28 bytes",
        R"({"event":"E","timestamp":"t","x":1e400})",
        procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 12, 11, std::string(20000, 'p')),
    };
    Texts lines;
    std::uint64_t state = 7;
    for (int i = 0; i < 6000; ++i) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        lines.push_back(kinds[(state >> 33) % std::size(kinds)]);
    }
    TempDir dir;
    EventKeeper loaded, fed;
    Recorder loadedTold(loaded), fedTold(fed);
    loaded.loadJsonFile(dir.write("mixed.json", joined(lines)));
    for (const std::string& line : lines) {
        if (StreamReader::isValidUtf8(line)) {
            fed.ingestJsonLine(line);
        } else {
            fed.ingestInvalidLine(line);
        }
    }

    EXPECT_EQ(loaded.lastLoadStats().lines, lines.size());
    EXPECT_EQ(loadedTold.fields, fedTold.fields);
    EXPECT_EQ(loaded.loadErrors(), fed.loadErrors());
    EXPECT_EQ(procRows(loaded), procRows(fed));
    const Texts files = fileRows(loaded);
    EXPECT_EQ(files, fileRows(fed));
    EXPECT_NE(std::find(files.begin(), files.end(), "ES_EVENT_TYPE_NOTIFY_RENAME|t|11|/tmp/\"b\""),
              files.end());
    ASSERT_EQ(loaded.jsonMapping().size(), fed.jsonMapping().size());
    for (std::size_t i = 0; i < loaded.jsonMapping().size(); ++i) {
        ASSERT_EQ(loaded.jsonMapping().entry(i).text, fed.jsonMapping().entry(i).text) << i;
    }
    for (std::size_t i = 0; i < loaded.procPreviews().size(); ++i) {
        ASSERT_EQ(loaded.jsonMapping().find(loaded.procPreviews()[i].id),
                  fed.jsonMapping().find(fed.procPreviews()[i].id));
    }
}

// An observer that throws stops the load there; the reading thread is wound
// down and the store keeps what was filed before.
TEST(EventKeeper, ThrowingObserverEndsTheLoadCleanly) {
    TempDir dir;
    const std::string path = dir.write(
        "log.json", joined(Texts(20000, procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 1, 0, "/a"))));
    EventKeeper keeper;
    int calls = 0;
    keeper.observe([&](StoreField) {
        if (++calls == 3000) {
            throw std::runtime_error("observer gave up");
        }
    });
    EXPECT_THROW(keeper.loadJsonFile(path), std::runtime_error);
    EXPECT_EQ(keeper.procPreviews().size(), 2999u);
    // The store is still usable.
    calls = 100000;
    keeper.loadJsonFile(path);
    EXPECT_EQ(keeper.procPreviews().size(), 2999u + 20000u);
}

TEST(EventKeeper, ObserversMayComeAndGoWhileBeingTold) {
    EventKeeper keeper;
    std::vector<std::string> told;
    EventKeeper::ObserverId self = 0, later = 0;
    self = keeper.observe([&](StoreField) {
        told.push_back("self");
        keeper.unobserve(self);  // removes itself while running
        later = keeper.observe([&](StoreField) { told.push_back("later"); });
    });
    keeper.observe([&](StoreField) { told.push_back("other"); });
    keeper.setShowErrors(true);
    // The one added meanwhile is told from the next change on.
    EXPECT_EQ(told, (Texts{"self", "other"}));
    told.clear();
    keeper.setShowErrors(false);
    EXPECT_EQ(told, (Texts{"other", "later"}));
    // One observer removing another that has not been told yet.
    told.clear();
    keeper.observe([&](StoreField) {
        told.push_back("remover");
        keeper.unobserve(later);
    });
    keeper.unobserve(later);
    later = keeper.observe([&](StoreField) { told.push_back("later"); });
    keeper.setShowLegend(true);
    EXPECT_EQ(told, (Texts{"other", "remover"}));
}

}  // namespace
}  // namespace korvantis

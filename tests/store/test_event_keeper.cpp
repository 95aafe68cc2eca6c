#include <gtest/gtest.h>

#include <deque>
#include <iterator>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "ingest/stream_reader.h"
#include "ingest/temp_files.h"
#include "store/event_keeper.h"

namespace korvantis {
namespace {

using testing::TempDir;

constexpr std::string_view kEmptyTree =
    R"([{"name":"launchd","children":[{"name":"Untracked Heritage"}]}])";

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

struct Recorder {
    std::vector<StoreField> fields;
    // Sizes seen when told, to check that the announcement comes first.
    std::vector<std::size_t> sizesSeen;
};

Recorder& record(EventKeeper& keeper, Recorder& recorder) {
    keeper.observe([&keeper, &recorder](StoreField field) {
        recorder.fields.push_back(field);
        std::size_t size = 0;
        switch (field) {
            case StoreField::procPreviews:
                size = keeper.procPreviews().size();
                break;
            case StoreField::filePreviews:
                size = keeper.filePreviews().size();
                break;
            case StoreField::loadErrors:
                size = keeper.loadErrors().size();
                break;
            default:
                break;
        }
        recorder.sizesSeen.push_back(size);
    });
    return recorder;
}

TEST(EventKeeper, InitialState) {
    EventKeeper keeper;
    EXPECT_TRUE(keeper.jsonMapping().empty());
    EXPECT_FALSE(keeper.activePreview());
    EXPECT_FALSE(keeper.activeFilePreview());
    EXPECT_EQ(keeper.activeEventJson(), "");
    EXPECT_TRUE(keeper.loadErrors().empty());
    EXPECT_FALSE(keeper.showErrors());
    EXPECT_FALSE(keeper.showLegend());
    EXPECT_TRUE(keeper.procPreviews().empty());
    EXPECT_TRUE(keeper.filePreviews().empty());
    EXPECT_EQ(keeper.jsonTreeRaw(), "");
    EXPECT_TRUE(keeper.nodes().empty());
    const std::array<std::string_view, 7> want = {
        "ES_EVENT_TYPE_NOTIFY_OPEN",   "ES_EVENT_TYPE_NOTIFY_CLOSE", "ES_EVENT_TYPE_NOTIFY_WRITE",
        "ES_EVENT_TYPE_NOTIFY_RENAME", "ES_EVENT_TYPE_NOTIFY_LINK",  "ES_EVENT_TYPE_NOTIFY_UNLINK",
        "ES_EVENT_TYPE_NOTIFY_CREATE"};
    EXPECT_EQ(EventKeeper::monitoredFileEvents(), want);
}

TEST(EventKeeper, UnopenablePathChangesNothingButBuildsTheTree) {
    TempDir dir;
    for (const std::string& path : {(dir.path() / "missing.json").string(), dir.path().string()}) {
        EventKeeper keeper;
        Recorder recorder;
        record(keeper, recorder);
        keeper.loadJsonFile(path);
        EXPECT_FALSE(keeper.lastLoadStats().opened);
        EXPECT_TRUE(keeper.loadErrors().empty());
        EXPECT_TRUE(keeper.procPreviews().empty());
        EXPECT_TRUE(keeper.jsonMapping().empty());
        EXPECT_TRUE(recorder.fields.empty());
        EXPECT_EQ(keeper.jsonTreeRaw(), kEmptyTree);
    }
}

TEST(EventKeeper, ProcessEvents) {
    for (std::string_view event : {"ES_EVENT_TYPE_NOTIFY_FORK", "ES_EVENT_TYPE_NOTIFY_EXEC"}) {
        EventKeeper keeper;
        const std::string line = procLine(event, 12, 1, "/bin/sh", "1765000000.000001");
        keeper.ingestJsonLine(line);
        ASSERT_EQ(keeper.procPreviews().size(), 1u);
        const ProcPreviewEntry& e = keeper.procPreviews()[0];
        EXPECT_EQ(e.type, event);
        EXPECT_EQ(e.timestamp, "1765000000.000001");
        EXPECT_EQ(e.pid, 12);
        EXPECT_EQ(e.ppid, 1);
        EXPECT_EQ(e.path, "/bin/sh");
        ASSERT_EQ(keeper.nodes().size(), 1u);
        const Node& n = keeper.nodes()[0];
        EXPECT_EQ(n.uid, e.id);
        EXPECT_EQ(n.name, "sh");
        EXPECT_EQ(n.path, "/bin/sh");
        EXPECT_EQ(n.pid, 12);
        EXPECT_EQ(n.ppid, 1);
        EXPECT_EQ(keeper.jsonMapping().size(), 1u);
        EXPECT_EQ(keeper.jsonMapping().find(e.id), line);
        EXPECT_TRUE(keeper.filePreviews().empty());
        EXPECT_TRUE(keeper.loadErrors().empty());
    }
}

TEST(EventKeeper, ProcessEventWithoutProcessOrPath) {
    EventKeeper keeper;
    keeper.ingestJsonLine(R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t"})");
    EXPECT_TRUE(keeper.procPreviews().empty());
    EXPECT_TRUE(keeper.nodes().empty());
    EXPECT_TRUE(keeper.loadErrors().empty());
    EXPECT_EQ(keeper.jsonMapping().size(), 1u);
    // A process without a path is filed with an empty one.
    keeper.ingestJsonLine(
        R"({"event":"ES_EVENT_TYPE_NOTIFY_FORK","timestamp":"t","process":{"pid":3,"ppid":2}})");
    ASSERT_EQ(keeper.procPreviews().size(), 1u);
    EXPECT_EQ(keeper.procPreviews()[0].path, "");
    EXPECT_EQ(keeper.nodes()[0].name, "");
    EXPECT_EQ(keeper.jsonMapping().size(), 2u);
}

TEST(EventKeeper, FileEvents) {
    EventKeeper keeper;
    for (std::string_view event : EventKeeper::monitoredFileEvents()) {
        keeper.ingestJsonLine(fileLine(event, 9, "/tmp/x"));
    }
    ASSERT_EQ(keeper.filePreviews().size(), 7u);
    for (std::size_t i = 0; i < 7; ++i) {
        const FilePreviewEntry& e = keeper.filePreviews()[i];
        EXPECT_EQ(e.type, EventKeeper::monitoredFileEvents()[i]);
        EXPECT_EQ(e.pid, 9);  // from file, not from process
        EXPECT_EQ(e.path, "/tmp/x");
        EXPECT_EQ(e.timestamp, "t");
        EXPECT_TRUE(keeper.jsonMapping().contains(e.id));
    }
    EXPECT_TRUE(keeper.procPreviews().empty());
    EXPECT_TRUE(keeper.nodes().empty());
}

TEST(EventKeeper, RenameUsesFileNotFileOld) {
    EventKeeper keeper;
    keeper.ingestJsonLine(
        R"({"event":"ES_EVENT_TYPE_NOTIFY_RENAME","timestamp":"t","fileOld":{"destination":"/old"},)"
        R"("file":{"pid":4,"destination":"/new"}})");
    ASSERT_EQ(keeper.filePreviews().size(), 1u);
    EXPECT_EQ(keeper.filePreviews()[0].path, "/new");
    EXPECT_EQ(keeper.filePreviews()[0].pid, 4);
}

TEST(EventKeeper, FileEventWithoutFileIsALoadError) {
    EventKeeper keeper;
    const std::string line =
        R"({"event":"ES_EVENT_TYPE_NOTIFY_WRITE","timestamp":"t1","process":{"pid":7,"ppid":1,"path":"/bin/cat"},)"
        R"("fileOld":{"destination":"/old"}})";
    keeper.ingestJsonLine(line);
    EXPECT_TRUE(keeper.filePreviews().empty());
    ASSERT_EQ(keeper.loadErrors().size(), 1u);
    EXPECT_EQ(
        keeper.loadErrors()[0],
        R"(Could not build file event from ReceivedJson(event: "ES_EVENT_TYPE_NOTIFY_WRITE", )"
        R"(timestamp: "t1", process: Optional(Korvantis.Process(pid: 7, ppid: 1, path: )"
        R"(Optional("/bin/cat"))), fileOld: Optional(Korvantis.FileOld(process: nil, )"
        R"(destination: "/old")), file: nil))");
    ASSERT_EQ(keeper.jsonMapping().size(), 1u);
    EXPECT_EQ(keeper.jsonMapping().entry(0).text, line);
}

TEST(EventKeeper, OtherEventsAreOnlyMapped) {
    EventKeeper keeper;
    keeper.ingestJsonLine(procLine("es_event_type_notify_exec", 1, 0, "/x"));
    keeper.ingestJsonLine(fileLine("es_event_type_notify_open", 1, "/x"));
    keeper.ingestJsonLine(procLine("ES_EVENT_TYPE_NOTIFY_EXIT", 1, 0, "/x"));
    keeper.ingestJsonLine(procLine("ES_EVENT_TYPE_NOTIFY_EXECX", 1, 0, "/x"));
    keeper.ingestJsonLine(procLine("ES_EVENT_TYPE_NOTIFY_", 1, 0, "/x"));
    EXPECT_TRUE(keeper.procPreviews().empty());
    EXPECT_TRUE(keeper.filePreviews().empty());
    EXPECT_TRUE(keeper.loadErrors().empty());
    EXPECT_EQ(keeper.jsonMapping().size(), 5u);
}

TEST(EventKeeper, RefusedLinesAreKeptAsRead) {
    EventKeeper keeper;
    keeper.ingestJsonLine("");
    keeper.ingestJsonLine("not json\r");
    keeper.ingestJsonLine(R"({"event":"E"})");
    keeper.ingestInvalidLine("bad \xFF line");
    EXPECT_EQ(keeper.loadErrors(), (std::vector<std::string>{"", "not json\r", R"({"event":"E"})",
                                                             "bad \xEF\xBF\xBD line"}));
    EXPECT_TRUE(keeper.jsonMapping().empty());
    // A refused line leaves no trace behind: the next line is stored whole.
    const std::string good = procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 2, 1, "/a");
    keeper.ingestJsonLine(good);
    EXPECT_EQ(keeper.jsonMapping().entry(0).text, good);
}

TEST(EventKeeper, IdenticalLinesGetDifferentIds) {
    EventKeeper keeper;
    const std::string line = procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 2, 1, "/a");
    keeper.ingestJsonLine(line);
    keeper.ingestJsonLine(line);
    ASSERT_EQ(keeper.procPreviews().size(), 2u);
    EXPECT_NE(keeper.procPreviews()[0].id, keeper.procPreviews()[1].id);
    EXPECT_EQ(keeper.jsonMapping().size(), 2u);
}

TEST(EventKeeper, EscapedTextsAreDecoded) {
    EventKeeper keeper;
    keeper.ingestJsonLine(
        R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t\u0031","process":{"pid":2,"ppid":1,"path":"\/bin\/\u00e9"}})");
    ASSERT_EQ(keeper.procPreviews().size(), 1u);
    EXPECT_EQ(keeper.procPreviews()[0].timestamp, "t1");
    EXPECT_EQ(keeper.procPreviews()[0].path, "/bin/\xC3\xA9");
    EXPECT_EQ(keeper.nodes()[0].name, "\xC3\xA9");
}

TEST(EventKeeper, NodeNames) {
    EventKeeper keeper;
    keeper.ingestJsonLine(procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 2, 1, "/tmp/"));
    keeper.ingestJsonLine(procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 3, 1, "launchd"));
    EXPECT_EQ(keeper.nodes()[0].name, "tmp");
    EXPECT_EQ(keeper.nodes()[1].name, "launchd");
}

TEST(EventKeeper, AnnouncementsComeBeforeEachChange) {
    EventKeeper keeper;
    Recorder recorder;
    record(keeper, recorder);
    keeper.ingestJsonLine(procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 2, 1, "/a"));
    keeper.ingestJsonLine(fileLine("ES_EVENT_TYPE_NOTIFY_OPEN", 2, "/f"));
    keeper.ingestJsonLine(fileLine("ES_EVENT_TYPE_NOTIFY_OPEN", 2, "/g"));
    keeper.ingestJsonLine("broken");
    keeper.ingestJsonLine(R"({"event":"ES_EVENT_TYPE_NOTIFY_OPEN","timestamp":"t"})");
    keeper.ingestJsonLine(R"({"event":"other","timestamp":"t"})");
    keeper.ingestInvalidLine("\xFF");
    const std::vector<StoreField> want = {StoreField::procPreviews, StoreField::filePreviews,
                                          StoreField::filePreviews, StoreField::loadErrors,
                                          StoreField::loadErrors,   StoreField::loadErrors};
    EXPECT_EQ(recorder.fields, want);
    EXPECT_EQ(recorder.sizesSeen, (std::vector<std::size_t>{0, 0, 1, 0, 1, 2}));

    recorder.fields.clear();
    keeper.setShowErrors(true);
    keeper.setShowErrors(true);
    keeper.setShowLegend(false);
    EXPECT_EQ(recorder.fields,
              (std::vector<StoreField>{StoreField::showErrors, StoreField::showErrors,
                                       StoreField::showLegend}));
    EXPECT_TRUE(keeper.showErrors());
}

TEST(EventKeeper, ObserversCanBeRemoved) {
    EventKeeper keeper;
    int calls = 0;
    const auto id = keeper.observe([&](StoreField) { ++calls; });
    keeper.setShowLegend(true);
    keeper.unobserve(id);
    keeper.setShowLegend(false);
    EXPECT_EQ(calls, 1);
}

TEST(EventKeeper, FileOnlyLoadAnnouncesItsRows) {
    TempDir dir;
    const std::string path =
        dir.write("files.json", fileLine("ES_EVENT_TYPE_NOTIFY_OPEN", 1, "/a") + "\n" +
                                    fileLine("ES_EVENT_TYPE_NOTIFY_CLOSE", 1, "/a") + "\n");
    EventKeeper keeper;
    Recorder recorder;
    record(keeper, recorder);
    keeper.loadJsonFile(path);
    EXPECT_EQ(keeper.filePreviews().size(), 2u);
    EXPECT_EQ(recorder.fields,
              (std::vector<StoreField>{StoreField::filePreviews, StoreField::filePreviews}));
}

std::string sampleLog() {
    return procLine("ES_EVENT_TYPE_NOTIFY_FORK", 100, 1, "/bin/zsh") + "\n" +
           procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 100, 1, "/usr/bin/git") + "\n" +
           fileLine("ES_EVENT_TYPE_NOTIFY_OPEN", 100, "/etc/hosts") + "\n" + "broken\r\n" +
           R"({"event":"ES_EVENT_TYPE_NOTIFY_EXIT","timestamp":"t"})" + "\n";
}

TEST(EventKeeper, LoadingAFile) {
    TempDir dir;
    EventKeeper keeper;
    keeper.loadJsonFile(dir.write("log.json", sampleLog()));
    EXPECT_TRUE(keeper.lastLoadStats().opened);
    EXPECT_EQ(keeper.lastLoadStats().lines, 5u);
    EXPECT_EQ(keeper.procPreviews().size(), 2u);
    EXPECT_EQ(keeper.nodes().size(), 2u);
    EXPECT_EQ(keeper.filePreviews().size(), 1u);
    EXPECT_EQ(keeper.jsonMapping().size(), 4u);
    EXPECT_EQ(keeper.loadErrors(), std::vector<std::string>{"broken\r"});
    EXPECT_EQ(
        keeper.jsonTreeRaw(),
        R"([{"name":"launchd","children":[{"name":"Untracked Heritage"},{"name":"zsh"},{"name":"git"}]}])");
}

TEST(EventKeeper, LoadingTwiceDoublesAndKeepsTheSelection) {
    TempDir dir;
    const std::string path = dir.write("log.json", sampleLog());
    EventKeeper keeper;
    keeper.loadJsonFile(path);
    const ProcPreviewEntry first = keeper.procPreviews()[0];
    keeper.selectEvent(first.id);
    ASSERT_TRUE(keeper.activePreview());
    keeper.loadJsonFile(path);
    EXPECT_EQ(keeper.procPreviews().size(), 4u);
    EXPECT_EQ(keeper.filePreviews().size(), 2u);
    EXPECT_EQ(keeper.nodes().size(), 4u);
    EXPECT_EQ(keeper.jsonMapping().size(), 8u);
    EXPECT_EQ(keeper.loadErrors().size(), 2u);
    EXPECT_EQ(keeper.activePreview(), first);
    EXPECT_NE(keeper.procPreviews()[2].id, first.id);
    EXPECT_EQ(keeper.procPreviews()[2].path, first.path);
}

TEST(EventKeeper, InvalidUtf8LineIsAnErrorAndLoadingGoesOn) {
    std::string text;
    for (int i = 1; i <= 10; ++i) {
        text += i == 4 ? std::string("{\"event\":\"\xC3(\",\"timestamp\":\"t\"}")
                       : procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 100 + i, 1, "/bin/sh");
        text += "\n";
    }
    TempDir dir;
    EventKeeper keeper;
    keeper.loadJsonFile(dir.write("log.json", text));
    EXPECT_EQ(keeper.procPreviews().size(), 9u);
    EXPECT_EQ(keeper.procPreviews()[3].pid, 105);
    EXPECT_EQ(keeper.loadErrors(),
              std::vector<std::string>{"{\"event\":\"\xEF\xBF\xBD(\",\"timestamp\":\"t\"}"});
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
    while (!queue.empty()) {
        auto task = std::move(queue.front());
        queue.pop_front();
        task();
    }
    ASSERT_EQ(keeper.procPreviews().size(), 2u);
    EXPECT_EQ(keeper.procPreviews()[0].path, "/a");
    EXPECT_EQ(keeper.procPreviews()[1].path, "/b");
}

TEST(EventKeeper, TextsSurviveManyLines) {
    // Enough lines to fill several arena blocks; every view must stay valid.
    TempDir dir;
    std::string text;
    for (int i = 0; i < 40000; ++i) {
        text += procLine("ES_EVENT_TYPE_NOTIFY_EXEC", i, 1, "/bin/p" + std::to_string(i),
                         std::to_string(i) + std::string(200, 'x')) +
                "\n";
    }
    EventKeeper keeper;
    keeper.loadJsonFile(dir.write("big.json", text));
    ASSERT_EQ(keeper.procPreviews().size(), 40000u);
    for (int i = 0; i < 40000; i += 997) {
        const ProcPreviewEntry& e = keeper.procPreviews()[i];
        EXPECT_EQ(e.path, "/bin/p" + std::to_string(i));
        EXPECT_EQ(e.timestamp, std::to_string(i) + std::string(200, 'x'));
        EXPECT_EQ(keeper.jsonMapping().find(e.id)->substr(0, 9), R"({"event":)");
    }
}

}  // namespace
}  // namespace korvantis

namespace korvantis {
namespace {

TEST(EventKeeper, TheSampleLog) {
    EventKeeper keeper;
    keeper.loadJsonFile(KORVANTIS_SAMPLES_DIR "/sample.json");
    ASSERT_TRUE(keeper.lastLoadStats().opened);
    EXPECT_EQ(keeper.lastLoadStats().lines, 27u);
    EXPECT_EQ(keeper.procPreviews().size(), 7u);
    EXPECT_EQ(keeper.nodes().size(), 7u);
    EXPECT_EQ(keeper.filePreviews().size(), 9u);
    EXPECT_EQ(keeper.jsonMapping().size(), 20u);
    ASSERT_EQ(keeper.loadErrors().size(), 8u);
    EXPECT_EQ(keeper.loadErrors()[0].rfind("Could not build file event from ReceivedJson(", 0), 0u);
    EXPECT_EQ(keeper.loadErrors()[3], "");
    EXPECT_NE(keeper.loadErrors()[7].find("\xEF\xBF\xBD"), std::string::npos);
    // Escapes in the raw line are decoded in the preview.
    EXPECT_EQ(keeper.filePreviews()[7].path, "/Users/\xC3\xA9milie/Desktop/notes \"draft\".txt");
    EXPECT_EQ(keeper.filePreviews()[8].path, "/tmp/after-the-bad-line");
}

}  // namespace
}  // namespace korvantis

namespace korvantis {
namespace {

// A mixed log of many batches: loading it from a file (read and decoded on a
// helper thread) must file exactly what feeding its lines one by one files.
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
        procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 12, 11, std::string(5000, 'p')),
    };
    std::string text;
    std::vector<std::string> lines;
    std::uint64_t state = 7;
    for (int i = 0; i < 6000; ++i) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        lines.push_back(kinds[(state >> 33) % std::size(kinds)]);
        text += lines.back() + "\n";
    }
    TempDir dir;
    EventKeeper loaded;
    std::vector<StoreField> loadedFields;
    loaded.observe([&](StoreField f) { loadedFields.push_back(f); });
    loaded.loadJsonFile(dir.write("mixed.json", text));

    EventKeeper fed;
    std::vector<StoreField> fedFields;
    fed.observe([&](StoreField f) { fedFields.push_back(f); });
    for (const std::string& line : lines) {
        if (StreamReader::isValidUtf8(line)) {
            fed.ingestJsonLine(line);
        } else {
            fed.ingestInvalidLine(line);
        }
    }

    EXPECT_EQ(loaded.lastLoadStats().lines, lines.size());
    EXPECT_EQ(loadedFields, fedFields);
    EXPECT_EQ(loaded.loadErrors(), fed.loadErrors());
    ASSERT_EQ(loaded.procPreviews().size(), fed.procPreviews().size());
    for (std::size_t i = 0; i < loaded.procPreviews().size(); ++i) {
        const ProcPreviewEntry& a = loaded.procPreviews()[i];
        const ProcPreviewEntry& b = fed.procPreviews()[i];
        ASSERT_EQ(std::tie(a.type, a.timestamp, a.pid, a.ppid, a.path),
                  std::tie(b.type, b.timestamp, b.pid, b.ppid, b.path))
            << i;
        ASSERT_EQ(loaded.nodes()[i].uid, a.id);
        ASSERT_EQ(loaded.nodes()[i].name, fed.nodes()[i].name);
        ASSERT_EQ(loaded.jsonMapping().find(a.id), fed.jsonMapping().find(b.id));
    }
    ASSERT_EQ(loaded.filePreviews().size(), fed.filePreviews().size());
    for (std::size_t i = 0; i < loaded.filePreviews().size(); ++i) {
        const FilePreviewEntry& a = loaded.filePreviews()[i];
        const FilePreviewEntry& b = fed.filePreviews()[i];
        ASSERT_EQ(std::tie(a.type, a.timestamp, a.pid, a.path),
                  std::tie(b.type, b.timestamp, b.pid, b.path))
            << i;
    }
    ASSERT_EQ(loaded.jsonMapping().size(), fed.jsonMapping().size());
    for (std::size_t i = 0; i < loaded.jsonMapping().size(); ++i) {
        ASSERT_EQ(loaded.jsonMapping().entry(i).text, fed.jsonMapping().entry(i).text) << i;
    }
    // Spot checks of what the kinds decode to.
    bool sawEscapedPath = false;
    for (const auto& e : loaded.filePreviews()) {
        sawEscapedPath = sawEscapedPath || e.path == "/tmp/\"b\"";
    }
    EXPECT_TRUE(sawEscapedPath);
}

}  // namespace
}  // namespace korvantis

namespace korvantis {
namespace {

// An observer that throws stops the load there; the reading thread is wound
// down and the store keeps what was filed before.
TEST(EventKeeper, ThrowingObserverEndsTheLoadCleanly) {
    std::string text;
    for (int i = 0; i < 20000; ++i) {
        text += procLine("ES_EVENT_TYPE_NOTIFY_EXEC", i, 1, "/bin/sh") + "\n";
    }
    TempDir dir;
    const std::string path = dir.write("log.json", text);
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

}  // namespace
}  // namespace korvantis

namespace korvantis {
namespace {

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
    EXPECT_EQ(told, (std::vector<std::string>{"self", "other"}));
    told.clear();
    keeper.setShowErrors(false);
    EXPECT_EQ(told, (std::vector<std::string>{"other", "later"}));
    // One observer removing another that has not been told yet.
    told.clear();
    keeper.observe([&](StoreField) {
        told.push_back("remover");
        keeper.unobserve(later);
    });
    keeper.unobserve(later);
    later = keeper.observe([&](StoreField) { told.push_back("later"); });
    keeper.setShowLegend(true);
    EXPECT_EQ(told, (std::vector<std::string>{"other", "remover"}));
}

}  // namespace
}  // namespace korvantis

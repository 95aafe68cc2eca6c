#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "store/event_keeper.h"
#include "store/pretty_json.h"

namespace korvantis {
namespace {

const std::string kExec = R"({"timestamp":"t","event":"ES_EVENT_TYPE_NOTIFY_EXEC",)"
                          R"("process":{"ppid":0,"pid":1,"path":"/bin/ls"},"extra":true})";
const std::string kRename =
    R"({"event":"ES_EVENT_TYPE_NOTIFY_RENAME","timestamp":"t2","process":{"pid":5,"ppid":1,)"
    R"("path":"/bin/mv"},"fileOld":{"pid":9,"destination":"/a"},)"
    R"("file":{"pid":9,"destination":"/b"}})";
const std::string kExit = R"({"event":"ES_EVENT_TYPE_NOTIFY_EXIT","timestamp":"t"})";

using Fields = std::vector<StoreField>;

// Records what the store announces; take() hands over what came so far.
struct Recorder {
    explicit Recorder(EventKeeper& store) {
        store.observe([this](StoreField f) { fields.push_back(f); });
    }
    Fields take() { return std::exchange(fields, {}); }
    Fields fields;
};

TEST(SelectEvent, EntriesAndDetail) {
    EventKeeper store;
    store.ingestJsonLine(kExec);
    store.ingestJsonLine(kRename);
    store.ingestJsonLine(kExit);
    ASSERT_EQ(store.procPreviews().size(), 1u);
    ASSERT_EQ(store.filePreviews().size(), 1u);
    Recorder rec(store);

    const ProcPreviewEntry proc = store.procPreviews()[0];
    store.selectEvent(proc.id);
    EXPECT_EQ(store.activePreview(), proc);
    EXPECT_EQ(store.activeFilePreview(), std::nullopt);
    EXPECT_EQ(store.activeEventJson(), prettyPrintedJson(kExec));
    EXPECT_EQ(rec.take(), (Fields{StoreField::activePreview, StoreField::activeEventJson}));

    // The same row twice: the process entry is kept, and the second
    // selection is announced again.
    const FilePreviewEntry file = store.filePreviews()[0];
    for (int i = 0; i < 2; ++i) {
        store.selectEvent(file.id);
        EXPECT_EQ(store.activeFilePreview(), file);
        EXPECT_EQ(store.activePreview(), proc);
        EXPECT_EQ(store.activeEventJson(), prettyPrintedJson(kRename));
        EXPECT_EQ(rec.take(), (Fields{StoreField::activeFilePreview, StoreField::activeEventJson}));
    }

    // An unknown id, or a line that made no preview: the entries stay, only
    // the detail changes.
    for (const auto& [id, detail] :
         {std::pair{Uuid::random(), std::string("ERROR: No Event Found")},
          std::pair{store.jsonMapping().entry(2).id, prettyPrintedJson(kExit)}}) {
        store.selectEvent(id);
        EXPECT_EQ(store.activePreview(), proc);
        EXPECT_EQ(store.activeFilePreview(), file);
        EXPECT_EQ(store.activeEventJson(), detail);
        EXPECT_EQ(rec.take(), (Fields{StoreField::activeEventJson}));
    }
    EventKeeper empty;
    empty.selectEvent(Uuid::random());
    EXPECT_EQ(empty.activeEventJson(), "ERROR: No Event Found");
}

// The id index grows with the lists: entries of every load are found, those
// of earlier loads still are, and a selection survives later loads.
TEST(SelectEvent, FindsEveryEntryAcrossLoads) {
    EventKeeper store;
    auto load = [&](int from, int count) {
        for (int i = from; i < from + count; ++i) {
            const std::string t = std::to_string(i);
            store.ingestJsonLine(i % 3 == 0
                                     ? R"({"event":"ES_EVENT_TYPE_NOTIFY_OPEN","timestamp":")" + t +
                                           R"(","file":{"pid":4,"destination":"/f"}})"
                                     : R"({"event":"ES_EVENT_TYPE_NOTIFY_FORK","timestamp":")" + t +
                                           R"(","process":{"pid":4,"ppid":1,"path":"/p"}})");
        }
    };
    load(0, 10);
    store.selectEvent(store.procPreviews()[2].id);
    const auto chosen = store.activePreview();
    load(10, 5000);
    EXPECT_EQ(store.activePreview(), chosen);
    for (std::size_t i = 0; i < store.procPreviews().size(); i += 7) {
        store.selectEvent(store.procPreviews()[i].id);
        ASSERT_EQ(store.activePreview(), store.procPreviews()[i]);
    }
    load(5010, 3000);
    for (std::size_t i = 0; i < store.filePreviews().size(); i += 5) {
        store.selectEvent(store.filePreviews()[i].id);
        ASSERT_EQ(store.activeFilePreview(), store.filePreviews()[i]);
        ASSERT_EQ(store.activeEventJson(),
                  prettyPrintedJson(*store.jsonMapping().find(store.filePreviews()[i].id)));
    }
}

}  // namespace
}  // namespace korvantis

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "describe/event_detail.h"
#include "describe/pretty_json.h"
#include "input/temp_files.h"
#include "support/loading.h"

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
    explicit Recorder(StoreObservers& observers) {
        observers.observe([this](StoreField f) { fields.push_back(f); });
    }
    Fields take() { return std::exchange(fields, {}); }
    Fields fields;
};

TEST(SelectEvent, EntriesAndDetail) {
    testing::TempDir dir;
    testsupport::LoadingWorkspace w;
    w.load(dir.write("log.json", kExec + "\n" + kRename + "\n" + kExit + "\n"));
    const EventStore& rows = w.ws.store;
    EventSelection& store = w.ws.selection;
    ASSERT_EQ(rows.rows(RowKind::process).size(), 1u);
    ASSERT_EQ(rows.rows(RowKind::file).size(), 1u);
    Recorder rec(w.ws.observers);

    // A chosen row of each kind, by its line's place.
    const auto active = [&](RowKind kind) {
        const auto& row = store.activeRow(kind);
        return row ? std::optional(std::pair(row->place, row->row)) : std::nullopt;
    };
    const auto proc =
        std::pair(rows.rows(RowKind::process).placeOf(0), rows.rows(RowKind::process)[0]);
    const auto file = std::pair(rows.rows(RowKind::file).placeOf(0), rows.rows(RowKind::file)[0]);
    store.selectEvent(proc.first);
    EXPECT_EQ(active(RowKind::process), proc);
    EXPECT_EQ(active(RowKind::file), std::nullopt);
    EXPECT_EQ(store.activeEventJson(), prettyPrintedJson(kExec));
    EXPECT_EQ(rec.take(), (Fields{StoreField::activeProcessRow, StoreField::activeEventJson}));

    // The same row twice: the process entry is kept, and the second
    // selection is announced again.
    for (int i = 0; i < 2; ++i) {
        store.selectEvent(file.first);
        EXPECT_EQ(active(RowKind::file), file);
        EXPECT_EQ(active(RowKind::process), proc);
        EXPECT_EQ(store.activeEventJson(), prettyPrintedJson(kRename));
        EXPECT_EQ(rec.take(), (Fields{StoreField::activeFileRow, StoreField::activeEventJson}));
    }

    // A place beyond the store's lines, or a line that made no process or
    // file row: those rows stay, only the detail changes.
    for (const auto& [place, detail] :
         {std::pair{LinePlace(3), std::string("ERROR: No Event Found")},
          std::pair{LinePlace(2), prettyPrintedJson(kExit)}}) {
        store.selectEvent(place);
        EXPECT_EQ(active(RowKind::process), proc);
        EXPECT_EQ(active(RowKind::file), file);
        EXPECT_EQ(store.activeEventJson(), detail);
        EXPECT_EQ(rec.take(), (Fields{StoreField::activeEventJson}));
    }

    // The detail in two steps, as the window makes it on a worker: a result
    // that a later choice has overtaken is dropped, and the detail shown
    // stays until the last choice's arrives.
    const auto first = store.chooseEvent(proc.first);
    EXPECT_TRUE(store.detailPending());
    EXPECT_EQ(rec.take(), (Fields{StoreField::activeProcessRow, StoreField::activeEventJson}));
    const auto second = store.chooseEvent(file.first);
    EXPECT_FALSE(store.setDetail(first.choice, EventSelection::detailFor(first)));
    EXPECT_TRUE(store.detailPending());
    EXPECT_EQ(store.activeEventJson(), prettyPrintedJson(kExit));  // the detail shown before
    EXPECT_TRUE(store.setDetail(second.choice, EventSelection::detailFor(second)));
    EXPECT_FALSE(store.detailPending());
    EXPECT_EQ(store.activeEventJson(), prettyPrintedJson(kRename));
    EXPECT_EQ(rec.take(), (Fields{StoreField::activeFileRow, StoreField::activeEventJson,
                                  StoreField::activeEventJson}));
    EXPECT_FALSE(store.setDetail(second.choice, plainDetail("again")));
}

// The card of an eslogger event: the row's own fields, then its facts that
// are not empty, then how a process row's run ended, or which row an exit
// ends; the viewer's own records have none. Facts come through the
// load, and rows with the same facts share one stored copy.
TEST(SelectEvent, FactsCard) {
    const std::string exec =
        R"({"time":"2026-01-05T09:12:00Z","process":{"audit_token":{"pid":1},"ppid":0},)"
        R"("event":{"exec":{"target":{"audit_token":[0,501,20,501,20,401,7,3],"ppid":400,)"
        R"("executable":{"path":"\/bin\/echo"},"is_platform_binary":true,"tty":null},)"
        R"("args":["echo","it's"],"cwd":{"path":"\/tmp"}}}})";
    const std::string open =
        R"({"time":"u","process":{"audit_token":{"pid":401,"euid":0},"ppid":1,)"
        R"("signing_id":"com.x"},"event":{"close":{"target":{"path":"\/etc\/hosts"}}}})";
    const std::string fork = R"({"time":"v","process":{},"event":{"fork":{"child":)"
                             R"({"audit_token":{"pid":9},"ppid":8}}}})";
    const std::string exit =
        R"({"time":"2026-01-05T09:12:01.5Z","process":{"audit_token":[0,501,20,501,20,401,7,3],)"
        R"("ppid":400},"event":{"exit":{"stat":0}}})";
    testing::TempDir dir;
    testsupport::LoadingWorkspace w;
    w.load(dir.write("log.json", exec + "\n" + open + "\n" + open + "\n" + fork + "\n" + kExec +
                                     "\n" + exit + "\n"));
    const EventStore& rows = w.ws.store;
    ASSERT_EQ(rows.rows(RowKind::process).size(), 3u);
    ASSERT_EQ(rows.rows(RowKind::file).size(), 2u);
    EXPECT_EQ(rows.rows(RowKind::file)[0].facts.encoded(),
              rows.rows(RowKind::file)[1].facts.encoded());
    const struct {
        LinePlace place;
        std::string card;
    } cases[] = {
        {rows.rows(RowKind::process).placeOf(0),
         "Kind: ES_EVENT_TYPE_NOTIFY_EXEC\nTime: 2026-01-05T09:12:00Z\nPID: 401 (version 3)\n"
         "PPID: 400\nPath: /bin/echo\nArgs: echo 'it'\\''s'\nCWD: /tmp\nUser: 501\n"
         "Platform: yes\nProcess: /bin/echo\nLifetime: ran 1.5 s, exit 0"},
        {rows.rows(RowKind::other).placeOf(0),
         "Kind: ES_EVENT_TYPE_NOTIFY_EXIT\nTime: 2026-01-05T09:12:01.5Z\nPID: 401 (version 3)\n"
         "PPID: 400\nPath: \nUser: 501\nSummary: exit 0\n"
         "Ends: ES_EVENT_TYPE_NOTIFY_EXEC of /bin/echo at 2026-01-05T09:12:00Z"},
        {rows.rows(RowKind::file).placeOf(1),
         "Kind: ES_EVENT_TYPE_NOTIFY_CLOSE\nTime: u\nPID: 401\nPath: /etc/hosts\nUser: 0\n"
         "Signing ID: com.x"},
        {rows.rows(RowKind::process).placeOf(1),
         "Kind: ES_EVENT_TYPE_NOTIFY_FORK\nTime: v\nPID: 9\nPPID: 8\nPath: "},
        {rows.rows(RowKind::process).placeOf(2), ""},
    };
    for (const auto& c : cases) {
        w.ws.selection.selectEvent(c.place);
        EXPECT_EQ(w.ws.selection.activeEventCard(), c.card);
    }
}

// What the detail area shows of a long readable form: whole lines up to the
// limit, or up to a character boundary when a line is longer; then a note.
TEST(SelectEvent, LongDetailIsShownInPart) {
    const std::string many = "[\"" + std::string(40, 'a') + "\",\"" + std::string(40, 'b') + "\"]";
    const std::string longString =
        "[\"" + std::string(5000, 'a') + "\xc3\xa9" + std::string(30, 'b') + "\"]";
    const struct {
        std::string line;
        std::size_t limit;
        std::size_t shown;
        std::string note;
    } cases[] = {
        {many, 50, 47,
         "\xe2\x80\xa6 47 more characters are not shown here; \xe2\x80\x9c"
         "Copy to clipboard\xe2\x80\x9d and \xe2\x80\x9cSave event as\xe2\x80\xa6\xe2\x80\x9d "
         "give all of it."},
        // A line longer than the limit: cut before the two bytes of the é,
        // never inside it.
        {longString, 5006, 5005, ""},
        // Thousands are grouped in the count.
        {longString, 10, 1,
         "\xe2\x80\xa6 5,038 more characters are not shown here; \xe2\x80\x9c"
         "Copy to clipboard\xe2\x80\x9d and \xe2\x80\x9cSave event as\xe2\x80\xa6\xe2\x80\x9d "
         "give all of it."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const EventDetail detail = eventDetailOf(c.line, c.limit);
        EXPECT_EQ(detail.text, prettyPrintedJson(c.line));
        EXPECT_EQ(detail.shownBytes, c.shown);
        if (!c.note.empty()) {
            EXPECT_EQ(detail.leftOutNote, c.note);
        }
        EXPECT_EQ(detail.leftOutNote.empty(), c.shown == detail.text.size());
    }
    EXPECT_EQ(eventDetailOf(std::nullopt).text, kLogChangedText);
}

}  // namespace
}  // namespace korvantis

// Marks against a plain model: random marks over random logs, the logs then
// changed in place, appended to and truncated; no mark may ever show on
// another line. And the session file: its round trip and hostile files.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "investigation/line_numbers.h"
#include "investigation/mark_book.h"
#include "investigation/row_marks.h"
#include "investigation/session_file.h"
#include "store/line_ref.h"
#include "support/loading.h"
#include "support/log_lines.h"

namespace korvantis {
namespace {

using testsupport::fileLine;
using testsupport::procLine;

std::string tempFolder() {
    char name[] = "/tmp/korvantis-marks-XXXXXX";
    return ::mkdtemp(name);
}

void writeLines(const std::string& path, const std::vector<std::string>& lines) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << testsupport::joinedLines(lines);
}

// A random line: a process or file row mostly, now and then one that is a
// load error (broken or blank).
std::string randomLine(std::mt19937& rng, int serial) {
    switch (rng() % 6) {
        case 0:
            return "not json " + std::to_string(serial);
        case 1:
            return "";
        case 2:
        case 3:
            return fileLine("ES_EVENT_TYPE_NOTIFY_WRITE", serial,
                            "/tmp/f" + std::to_string(serial));
        default:
            return procLine("ES_EVENT_TYPE_NOTIFY_EXEC", serial, 1,
                            "/bin/p" + std::to_string(serial));
    }
}

std::string randomTag(std::mt19937& rng) {
    static const char* kTags[] = {"bookmark", "dropper", "a", "b.c", "x:y", "z-1", "q_9"};
    return kTags[rng() % 7];
}

TEST(MarkText, TagsAreASortedSetLikeAPlainSet) {
    std::mt19937 rng(7);
    MarkText text;
    std::set<std::string> model;
    for (int i = 0; i < 2000; ++i) {
        const std::string tag = randomTag(rng);
        const bool add = rng() % 2 == 0;
        EXPECT_EQ(add ? text.addTag(tag) : text.removeTag(tag),
                  add ? model.insert(tag).second : model.erase(tag) == 1);
        std::string joined;
        for (const std::string& t : model) {
            joined += (joined.empty() ? "" : ",") + t;
        }
        ASSERT_EQ(text.tags, joined) << "step " << i;
    }
}

// Single edits and bulk edits of places in any order, some repeated, against
// a plain map that takes one edit at a time.
TEST(LogMarks, EditsLikeAPlainMap) {
    std::mt19937 rng(11);
    LogMarks marks;
    std::map<MarkPlace, MarkText> model;
    for (int round = 0; round < 300; ++round) {
        const auto kind = static_cast<MarkEdit::Kind>(rng() % 3);
        const MarkEdit edit{
            kind, kind == MarkEdit::Kind::setNote && rng() % 3 == 0 ? "" : randomTag(rng)};
        std::vector<MarkPlace> places(rng() % 3 == 0 ? 1 : rng() % 40);
        for (MarkPlace& place : places) {
            place = {1 + rng() % 60, rng() % 2};
            edit.applyTo(model[place]);
        }
        if (places.size() == 1 && rng() % 2 == 0) {
            edit.applyTo(marks[places[0]]);
        } else {
            marks.editAll(places, edit);
        }
        std::erase_if(model, [](const auto& m) { return m.second.empty(); });
        marks.dropEmpty();
        ASSERT_EQ(marks.size(), model.size()) << "round " << round;
        auto it = marks.begin();
        for (const auto& [place, text] : model) {
            ASSERT_EQ(it->first, place) << "round " << round;
            ASSERT_EQ(it->second.tags, text.tags) << "round " << round;
            ASSERT_EQ(it->second.note, text.note) << "round " << round;
            ++it;
        }
    }
}

TEST(TagWords, OnlyShortWordsOfTheAllowedCharacters) {
    struct Case {
        std::string tag;
        bool ok;
    } cases[] = {{"bookmark", true},
                 {"A.b:c-d_9", true},
                 {std::string(64, 'x'), true},
                 {"", false},
                 {std::string(65, 'x'), false},
                 {"a b", false},
                 {"a,b", false},
                 {"é", false},
                 {"a/b", false}};
    for (const Case& c : cases) {
        EXPECT_EQ(isTagWord(c.tag), c.ok) << c.tag;
    }
    EXPECT_EQ(lowerTag("BookMark:X"), "bookmark:x");
}

// A marked line of the model: the text it had when marked.
struct ModelMark {
    std::string text;
    MarkText mark;
};

TEST(RowMarks, AMarkShowsOnlyOnTheLineItWasMadeOn) {
    const std::string folder = tempFolder();
    const std::string path = folder + "/trace.json";
    std::mt19937 rng(11);
    std::size_t everShown = 0;
    std::size_t everDetached = 0;
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::vector<std::string> lines;
        const int count = 20 + static_cast<int>(rng() % 200);
        for (int i = 0; i < count; ++i) {
            lines.push_back(randomLine(rng, i));
        }
        // Random marks, on any line, rows and load errors alike.
        std::map<std::uint64_t, ModelMark> model;
        MarkBook book;
        for (int i = 0; i < count / 3; ++i) {
            const std::uint64_t line = 1 + rng() % static_cast<std::uint64_t>(count);
            ModelMark m{lines[line - 1], {}};
            m.mark.addTag(randomTag(rng));
            m.mark.note = rng() % 2 ? "note " + std::to_string(i) + " ✓" : "";
            model[line] = m;
        }
        for (const auto& [line, m] : model) {
            book.marksOf(realLogPath(folder) + "/trace.json")[{line, lineChecksum(m.text)}] =
                m.mark;
        }
        // The log changes: lines rewritten in place, lines added, or cut.
        switch (round % 3) {
            case 0:
                for (int i = 0; i < count / 5; ++i) {
                    lines[rng() % lines.size()] = randomLine(rng, 1000 + i);
                }
                break;
            case 1:
                for (int i = 0; i < 30; ++i) {
                    lines.push_back(randomLine(rng, 2000 + i));
                }
                lines.insert(lines.begin() + static_cast<long>(rng() % lines.size()), "inserted");
                break;
            case 2:
                lines.resize(lines.size() / 2);
                break;
        }
        writeLines(path, lines);
        testsupport::LoadingWorkspace loading;
        loading.load(path);
        const EventStore& store = loading.ws.store;
        const StoreLineNumbers numbers(store);
        const RowMarks marks(store, numbers, book);
        std::size_t shown = 0;
        for (std::size_t e = 0; e < store.lineRefs().size(); ++e) {
            const LinePlace entry(e);
            const std::uint64_t line = numbers.lineOf(entry);
            ASSERT_EQ(line, store.lineNumberOf(entry).value());
            ASSERT_EQ(numbers.entryAt(0, line), entry);
            const auto it = model.find(line);
            const bool expected =
                it != model.end() && line <= lines.size() && lines[line - 1] == it->second.text;
            const MarkText* got = marks.at(entry);
            ASSERT_EQ(got != nullptr, expected) << "line " << line;
            if (got != nullptr) {
                EXPECT_EQ(got->tags, it->second.mark.tags);
                EXPECT_EQ(got->note, it->second.mark.note);
                ++shown;
            }
        }
        const std::size_t detached = marks.detached().empty() ? 0 : marks.detached()[0].count;
        EXPECT_EQ(shown + detached, model.size());
        everShown += shown;
        everDetached += detached;
    }
    // Both outcomes were met, or the test proves nothing.
    EXPECT_GT(everShown, 0u);
    EXPECT_GT(everDetached, 0u);
    std::remove(path.c_str());
    ::rmdir(folder.c_str());
}

TEST(SessionFile, WhatIsSavedIsReadBack) {
    const std::string folder = realLogPath(tempFolder());
    const std::string file = folder + "/case.korvantis";
    Session session;
    session.logs = {folder + "/a.json", "/elsewhere/b.json"};
    session.view = R"({"filter":"pid:1","columns":{"process":["pid"]}})";
    std::mt19937 rng(3);
    for (int i = 0; i < 300; ++i) {
        MarkText text;
        text.addTag(randomTag(rng));
        text.addTag(randomTag(rng));
        // Some notes near the longest, so the file is written in several pieces.
        text.note = i % 10 == 1 ? std::string(60000, '"') + std::to_string(i)
                    : i % 3     ? "line\n\"quoted\" \\ \u202e " + std::to_string(i)
                                : "";
        session.marks.marksOf(
            i % 2 ? folder + "/sub/a.json"
                  : "/elsewhere/b.json")[{1 + rng() % 100000, rng() * 0x100000001ull}] = text;
    }
    ASSERT_EQ(writeSession(file, session), "");
    const SessionRead read = readSession(file);
    ASSERT_TRUE(read.session) << read.error;
    EXPECT_EQ(read.session->logs, session.logs);
    EXPECT_EQ(read.session->view, session.view);
    ASSERT_EQ(read.session->marks.logs().size(), session.marks.logs().size());
    for (const auto& [path, marks] : session.marks.logs()) {
        const LogMarks* back = read.session->marks.find(path);
        ASSERT_NE(back, nullptr) << path;
        ASSERT_EQ(back->size(), marks.size());
        for (const auto& [place, text] : marks) {
            const auto it = back->find(place);
            ASSERT_NE(it, back->end());
            EXPECT_EQ(it->second.tags, text.tags);
            EXPECT_EQ(it->second.note, text.note);
        }
    }
    // Beside the session, a log is named relative to it.
    std::ifstream in(file);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    EXPECT_NE(text.find(R"("logs":["a.json","/elsewhere/b.json"])"), std::string::npos);
    // A save that cannot be made leaves the file as it was.
    Session other;
    other.logs = {std::string("/bad\xff")};
    EXPECT_NE(writeSession(file, other), "");
    EXPECT_NE(writeSession(folder + "/no/such/folder/x.korvantis", session), "");
    std::ifstream again(file);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(again), {}), text);
    std::remove(file.c_str());
    ::rmdir(folder.c_str());
}

TEST(SessionFile, AHostileFileIsRefusedWithItsProblemNamed) {
    const std::string head = R"({"format":"korvantis-session","version":1,)";
    const std::string mark = R"({"log":"a.json","lines":[{"line":3,"checksum":"00000000000000ff")";
    struct Case {
        std::string name;
        std::string text;
        std::string error;
    } cases[] = {
        {"not JSON", "{", "not valid JSON"},
        {"not an object", "[]", "not a JSON object"},
        {"other format", R"({"format":"other","version":1})", "format is not"},
        {"newer version", R"({"format":"korvantis-session","version":2})", "newer version"},
        {"version a string", R"({"format":"korvantis-session","version":"1"})", "version"},
        {"invalid UTF-8", head + "\"logs\":[\"a\xff\"]}", "not valid UTF-8"},
        {"duplicate key", head + R"("logs":[],"logs":[]})", "logs (given twice)"},
        {"duplicate key deep", head + R"("view":{"a":{"b":1,"b":2}}})", "view.a.b (given twice)"},
        {"logs not an array", head + R"("logs":{}})", "logs is not an array"},
        {"log not a string", head + R"("logs":[1]})", "logs[0] is not a string"},
        {"climbing path", head + R"("logs":["../../etc/passwd"]})", "not a plain path"},
        {"climbing absolute", head + R"("logs":["/a/../etc"]})", "not a plain path"},
        {"empty path", head + R"("logs":[""]})", "not a log path"},
        {"NUL in path", head + R"("logs":["a\u0000b"]})", "not a log path"},
        {"too many logs",
         head + "\"logs\":[" +
             [] {
                 std::string s;
                 for (int i = 0; i < 10001; ++i) {
                     s += (i ? ",\"a" : "\"a") + std::to_string(i) + "\"";
                 }
                 return s;
             }() +
             "]}",
         "more than 10000 logs"},
        {"line zero",
         head + R"("marks":[{"log":"a.json","lines":[{"line":0,"checksum":"00000000000000ff"}]}]})",
         "marks[0].lines[0].line is not a line number"},
        {"checksum short",
         head + R"("marks":[{"log":"a.json","lines":[{"line":1,"checksum":"ff"}]}]})",
         "checksum is not 16 hexadecimal digits"},
        {"bad tag", head + "\"marks\":[" + mark + R"(,"tags":["a b"]}]}]})",
         "tags holds something"},
        {"tag a number", head + "\"marks\":[" + mark + R"(,"tags":[1]}]}]})",
         "tags holds something"},
        {"note a number", head + "\"marks\":[" + mark + R"(,"note":5}]}]})",
         "note is not a string"},
        {"huge note",
         head + "\"marks\":[" + mark + ",\"note\":\"" + std::string(100 << 20, 'x') + "\"}]}]}",
         "note is longer than 64 KiB"},
        {"same line twice",
         head + "\"marks\":[" + mark + "}," + mark.substr(mark.find("{\"line")) + "}]}]}",
         "already marked"},
        {"same log twice", head + "\"marks\":[" + mark + "}]}," + mark + "}]}]}", "already named"},
        {"view not an object", head + R"("view":[]})", "view is not an object"},
    };
    for (const Case& c : cases) {
        const SessionRead read = parseSession(c.text, "/folder");
        EXPECT_FALSE(read.session) << c.name;
        EXPECT_NE(read.error.find(c.error), std::string::npos) << c.name << ": " << read.error;
    }
    // The same checks let a good one through, tags lowered and merged.
    const SessionRead good = parseSession(head + "\"logs\":[\"a.json\"],\"marks\":[" + mark +
                                              R"(,"tags":["B","a","b"],"note":"n"}]}]})",
                                          "/folder");
    ASSERT_TRUE(good.session) << good.error;
    EXPECT_EQ(good.session->logs, std::vector<std::string>{"/folder/a.json"});
    const LogMarks* marks = good.session->marks.find("/folder/a.json");
    ASSERT_NE(marks, nullptr);
    EXPECT_EQ(marks->find({3, 0xff})->second.tags, "a,b");
}

}  // namespace
}  // namespace korvantis

// What a load derives, kept in an index and read back, against the fresh
// load itself: every gap and every load error the same, and the errors'
// texts read again through what the index keeps.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "decode/utf8_text.h"
#include "index/lifetime_section.h"
#include "index/load_sections.h"
#include "index/tree_section.h"
#include "input/temp_files.h"
#include "store/log_files.h"
#include "support/loading.h"

namespace korvantis {
namespace {

using testing::TempDir;

std::unique_ptr<IndexFile> indexOf(const std::string& path, const EventStore& store) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    IndexWriter writer(fd);
    writeLoadSections(writer, store);
    EXPECT_TRUE(writer.finish({}));
    ::close(fd);
    return IndexFile::open(path);
}

// Broken lines, a message about a line, one too long to keep, an eslogger
// jump in message numbers, and a log that cannot be opened.
std::vector<std::string> hostileLogs(const TempDir& dir) {
    std::string eslogger;
    for (int seq : {1, 2, 9, 10, 30}) {
        eslogger +=
            R"({"event_type":9,"global_seq_num":)" + std::to_string(seq) +
            R"(,"event":{"fork":{"child":{"audit_token":{"pid":)" + std::to_string(seq) +
            R"(}}}},"process":{"audit_token":{"pid":1},"ppid":0,"executable":{"path":"/x"}}})" +
            "\n";
    }
    return {
        std::string(KORVANTIS_SAMPLES_DIR) + "/sample.json",
        std::string(KORVANTIS_SAMPLES_DIR) + "/eslogger.json",
        dir.write("broken.json",
                  "{\n\xff\xfe not json\n\n{\"event\":\"ES_EVENT_TYPE_NOTIFY_OPEN\","
                  "\"timestamp\":\"1\",\"process\":{\"pid\":1,\"ppid\":0,\"path\":\"/a\"}}\n"
                  "[1,2]"),
        dir.write("eslogger-gaps.json", eslogger),
        (dir.path() / "missing.json").string(),
    };
}

TEST(LoadSections, ReadBackAsTheFreshLoadHasThem) {
    TempDir dir;
    testsupport::LoadingWorkspace loading;
    loading.load(hostileLogs(dir));
    const EventStore& store = loading.ws.store;
    ASSERT_FALSE(store.sequenceGaps().empty());
    ASSERT_GT(store.loadErrors().size(), 5u);

    const auto file = indexOf((dir.path() / "a.index").string(), store);
    ASSERT_TRUE(file);
    std::string why;
    const auto sections = readLoadSections(*file, &why);
    ASSERT_TRUE(sections) << why;
    EXPECT_EQ(sections->sequenceGaps, store.sequenceGaps());
    const LoadErrors& errors = store.loadErrors();
    ASSERT_EQ(sections->loadErrors.size(), errors.listed());
    EXPECT_EQ(sections->foldedLoadErrors, errors.folded());
    bool sawLine = false;
    bool sawNamed = false;
    errors.forEachText(store.logFiles(), [&](std::size_t i, std::string_view fresh) {
        const SavedLoadError& saved = sections->loadErrors[i];
        const LoadErrors::Entry e = errors.entry(i);
        EXPECT_EQ(saved.entry.origin, e.origin) << i;
        EXPECT_EQ(saved.entry.isLine, e.isLine) << i;
        EXPECT_EQ(saved.entry.standsForLine, e.standsForLine) << i;
        // The text as the error list shows it, made from the index alone
        // (and the log, for a line).
        std::string text;
        if (saved.entry.isLine) {
            EXPECT_EQ(saved.entry.ref, e.ref) << i;
            const LineRead line = store.logFiles().read(saved.entry.ref);
            text = line ? toValidUtf8(*line) : readFailureText(line.failure);
            sawLine = true;
        } else {
            text = saved.message;
        }
        EXPECT_EQ(text, fresh) << i;
        if (e.origin.log == LoadErrors::kNamedLog) {
            EXPECT_EQ(saved.name, errors.originName(i, store.logFiles())) << i;
            sawNamed = true;
        }
    });
    EXPECT_TRUE(sawLine);
    EXPECT_TRUE(sawNamed);
}

TEST(LoadSections, RefusesSectionsThatDoNotHoldWhatTheyShould) {
    struct Case {
        const char* name;
        std::vector<std::uint64_t> gaps;
        std::vector<std::uint64_t> errors;
        std::string texts;
        const char* reason;
    };
    // One message error of line 3, its text "llo" at 2 of the texts.
    const std::vector<std::uint64_t> oneError{1, 0, 0, 3, 0, 0, 0, 0, 2, 3, 0, 0};
    auto withError = [&](std::size_t word, std::uint64_t value) {
        std::vector<std::uint64_t> words = oneError;
        words[word] = value;
        return words;
    };
    const Case cases[] = {
        {"whole", {0}, oneError, "hello", nullptr},
        {"gap count past the end", {1000}, oneError, "hello", "sequence-gaps"},
        {"gap count of 2^64 - 1", {~0ull}, oneError, "hello", "sequence-gaps"},
        {"bytes after the gaps", {0, 1}, oneError, "hello", "sequence-gaps"},
        {"gap of a log past 2^32", {1, 1, 1, 1ull << 33, 0}, oneError, "hello", "sequence-gaps"},
        {"error count past the end", {0}, withError(0, 5), "hello", "load-errors"},
        {"error of a log past 2^32", {0}, withError(2, 1ull << 32), "hello", "load-errors"},
        {"unknown flags", {0}, withError(4, 4), "hello", "load-errors"},
        {"message outside its texts", {0}, withError(9, 4), "hello", "load-error-texts"},
        {"message offset wrapping", {0}, withError(8, ~0ull), "hello", "load-error-texts"},
        {"name outside its texts", {0}, withError(10, 6), "hello", "load-error-texts"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        const std::string path = (dir.path() / "a.index").string();
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
        IndexWriter writer(fd);
        writer.beginSection("sequence-gaps");
        for (const std::uint64_t word : c.gaps) {
            writer.appendU64(word);
        }
        writer.endSection();
        writer.beginSection("load-errors");
        for (const std::uint64_t word : c.errors) {
            writer.appendU64(word);
        }
        writer.endSection();
        writer.beginSection("load-error-texts");
        writer.append(c.texts);
        writer.endSection();
        ASSERT_TRUE(writer.finish({}));
        ::close(fd);
        const auto file = IndexFile::open(path);
        ASSERT_TRUE(file) << c.name;
        std::string why;
        const auto sections = readLoadSections(*file, &why);
        if (c.reason == nullptr) {
            ASSERT_TRUE(sections) << c.name << ": " << why;
            ASSERT_EQ(sections->loadErrors.size(), 1u);
            EXPECT_EQ(sections->loadErrors[0].message, "llo");
            EXPECT_EQ(sections->loadErrors[0].entry.origin.line, 3u);
        } else {
            EXPECT_FALSE(sections) << c.name;
            EXPECT_EQ(why, "section " + std::string(c.reason) + " does not hold what it should")
                << c.name;
        }
    }
}

// The kept lifetimes of 2 process rows and 1 other row, each row number
// they name checked against those counts.
TEST(LoadSections, RefusesLifetimesThatNameRowsOrTextsNotThere) {
    using How = LifetimeEnd::How;
    struct Case {
        const char* name;
        std::uint64_t procs;  // as the section says
        KeptLifetimes::RunRecord second;
        std::uint32_t ended;     // the run that ended
        std::uint32_t exitProc;  // the process row the exit ends
        bool usable;
    };
    const auto run = [](How how, std::uint32_t end, std::uint32_t outcome) {
        return KeptLifetimes::RunRecord{end, outcome, static_cast<std::uint8_t>(how), {}};
    };
    const Case cases[] = {
        {"whole", 2, run(How::exited, 0, 0), 1, 1, true},
        {"another count of rows", 3, run(How::exited, 0, 0), 1, 1, false},
        {"an exit past the other rows", 2, run(How::exited, 1, 0), 1, 1, false},
        {"an exec past the process rows", 2, run(How::became, 2, 0), 1, 1, false},
        {"an unknown end", 2, run(static_cast<How>(5), 0, 0), 1, 1, false},
        {"an outcome inside a text", 2, run(How::exited, 0, 1), 1, 1, false},
        {"an ended run past the rows", 2, run(How::exited, 0, 0), 2, 1, false},
        {"an exit ending a row not there", 2, run(How::exited, 0, 0), 1, 7, false},
    };
    TempDir dir;
    for (const Case& c : cases) {
        const std::string path = (dir.path() / "a.index").string();
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
        IndexWriter writer(fd);
        writer.beginSection("lifetimes");
        for (const std::uint64_t word :
             {c.procs, std::uint64_t{1}, std::uint64_t{1}, std::uint64_t{1}, std::uint64_t{7}}) {
            writer.appendU64(word);
        }
        const KeptLifetimes::RunRecord records[] = {
            run(How::untracked, 0, KeptLifetimes::kNoOutcome), c.second};
        const KeptLifetimes::ExitRecord exit{0, c.exitProc};
        writer.append({reinterpret_cast<const char*>(records), sizeof records});
        writer.append({reinterpret_cast<const char*>(&c.ended), 4});
        writer.append({reinterpret_cast<const char*>(&exit), sizeof exit});
        writer.append(std::string_view("exit 0\0", 7));
        writer.endSection();
        ASSERT_TRUE(writer.finish({}));
        ::close(fd);
        const auto file = IndexFile::open(path);
        ASSERT_TRUE(file) << c.name;
        const auto parts = readLifetimeSection(*file, 2, 1);
        ASSERT_EQ(parts.has_value(), c.usable) << c.name;
        if (parts) {
            const KeptLifetimes kept(*parts, nullptr);
            EXPECT_EQ(kept.endOf(1), (LifetimeEnd{How::exited, 0}));
            EXPECT_STREQ(kept.outcomeOf(1), "exit 0");
            EXPECT_EQ(kept.outcomeOf(0), nullptr);
            EXPECT_EQ(kept.endedBy(0), std::optional<std::size_t>(1));
        }
    }
}

// A kept tree comes back as written; a section whose lengths or flags do
// not hold together is no tree (the tree is then built from the rows).
TEST(TreeSection, ReadBackOnlyWhenItHoldsTogether) {
    TempDir dir;
    int made = 0;
    auto written = [&](const std::function<void(IndexWriter&)>& sections) {
        const std::string path = (dir.path() / ("tree" + std::to_string(made++))).string();
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
        IndexWriter writer(fd);
        sections(writer);
        EXPECT_TRUE(writer.finish({}));
        ::close(fd);
        auto file = IndexFile::open(path);
        EXPECT_TRUE(file);
        return file;
    };
    auto raw = [&](std::uint64_t flags, std::uint64_t jsonLength, std::string_view rest) {
        return written([&](IndexWriter& w) {
            w.beginSection("process-tree");
            w.appendU64(flags);
            w.appendU64(jsonLength);
            w.append(rest);
            w.endSection();
        });
    };
    // (The files are kept: what is read points into them.)
    const auto full = written([](IndexWriter& w) {
        writeTreeSection(w, KeptTree{"{\"n\":1}", "[[1,0,\"/a\",0,-1]]", true, true});
    });
    const auto kept = readTreeSection(*full);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->json, "{\"n\":1}");
    EXPECT_EQ(kept->facts, "[[1,0,\"/a\",0,-1]]");
    EXPECT_TRUE(kept->withFacts && kept->withPlaces);
    const auto bareFile = written([](IndexWriter& w) {
        writeTreeSection(w, KeptTree{"{}", "[ignored]", false, false});
    });
    const auto bare = readTreeSection(*bareFile);
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->facts, "");
    EXPECT_FALSE(bare->withFacts || bare->withPlaces);
    EXPECT_TRUE(readTreeSection(*raw(1, 2, "{}[]")));
    const struct {
        const char* name;
        std::unique_ptr<IndexFile> file;
    } refused[] = {
        {"no section", written([](IndexWriter&) {})},
        {"JSON past the end", raw(1, 5, "{}[]")},
        {"no JSON", raw(1, 0, "[]")},
        {"unknown flags", raw(4, 2, "{}")},
        {"facts not flagged", raw(0, 2, "{}[]")},
        {"cut in its lengths", written([](IndexWriter& w) {
             w.beginSection("process-tree");
             w.appendU64(1);
             w.endSection();
         })},
    };
    for (const auto& r : refused) {
        EXPECT_FALSE(readTreeSection(*r.file)) << r.name;
    }
}

}  // namespace
}  // namespace korvantis

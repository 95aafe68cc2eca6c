#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "index/index_cache.h"
#include "input/temp_files.h"
#include "support/compressed_copies.h"
#include "support/loading.h"
#include "support/log_lines.h"
#include "support/store_content.h"

namespace korvantis {
namespace {

using testing::readAll;
using testing::TempDir;
using testsupport::LoadingWorkspace;
using testsupport::storeContent;

void appendTo(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::app)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Files the loader's work until `done` holds; a guard against hanging, not a
// measure of speed: the watch wakes the loader at least once a second.
template <typename Done>
bool filesUntil(LoadingWorkspace& w, Done done) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    w.tasks.runUntil([&] { return done() || std::chrono::steady_clock::now() > giveUp; });
    return done();
}

// What a fresh load of `bytes` gives: the reference a followed log must match.
std::string freshContent(const TempDir& dir, std::string_view bytes, bool withTree,
                         bool readLines = true) {
    LoadingWorkspace fresh;
    fresh.load(dir.write("fresh.json", bytes));
    return storeContent(fresh.ws, withTree, readLines);
}

// The complete lines of `bytes`: a last line without its line feed waits.
std::string_view completeLines(std::string_view bytes) {
    return bytes.substr(0, bytes.rfind('\n') + 1);
}

// A followed log, written in pieces cut anywhere (inside lines, inside
// characters), holds after each piece what a fresh load of its complete lines
// gives, and in the end that of the whole file; its tree follows too.
TEST(Follow, AppendedPiecesLoadAsTheWholeFile) {
    const std::string mixed =
        testsupport::procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 5, 1, "/bin/\xC3\xA9t\xC3\xA9") + "\n" +
        "not json\n" + testsupport::fileLine("ES_EVENT_TYPE_NOTIFY_OPEN", 5, "/tmp/a") + "\n" +
        testsupport::procLine("ES_EVENT_TYPE_NOTIFY_FORK", 6, 5, "/bin/sh") + "\n";
    const struct {
        std::string name;
        std::string bytes;
    } logs[] = {
        {"mixed", mixed},
        {"eslogger", readAll(std::filesystem::path(KORVANTIS_SAMPLES_DIR) / "eslogger.json")},
        {"sample", readAll(std::filesystem::path(KORVANTIS_SAMPLES_DIR) / "sample.json")},
    };
    for (const auto& log : logs) {
        SCOPED_TRACE(log.name);
        TempDir dir;
        const std::size_t n = log.bytes.size();
        const std::vector<std::size_t> cuts = {n / 5, n / 3 + 1, n / 3 + 2, 2 * n / 3, n};
        const std::string path = dir.write("log.json", log.bytes.substr(0, cuts[0]));
        LoadingWorkspace followed;
        followed.ws.loader.setFollowing(true);
        followed.load(path);
        for (std::size_t i = 1; i < cuts.size(); ++i) {
            appendTo(path, log.bytes.substr(cuts[i - 1], cuts[i] - cuts[i - 1]));
            const std::string want =
                freshContent(dir, completeLines(log.bytes.substr(0, cuts[i])), false);
            filesUntil(followed, [&] { return storeContent(followed.ws, false) == want; });
            EXPECT_EQ(storeContent(followed.ws, false), want) << "after piece " << i;
        }
        const std::string whole = freshContent(dir, log.bytes, true);
        EXPECT_TRUE(filesUntil(followed, [&] { return storeContent(followed.ws) == whole; }));
        EXPECT_TRUE(followed.ws.loader.progress().followNotices.empty());
    }
}

// A log that shrinks, is written again, is removed, or whose path comes to
// name another file, stops being followed with a notice naming the last line
// loaded; what was loaded stays,
// and lines written to the old file before it was replaced are still read.
// A log reopened from its index is followed from where the index ends: what
// is appended after (a line cut in two among it) loads as in a fresh load.
TEST(Follow, ALogReadFromItsIndexIsFollowedFromItsEnd) {
    TempDir dir;
    const std::string bytes =
        readAll(std::filesystem::path(KORVANTIS_SAMPLES_DIR) / "eslogger.json");
    const std::size_t half = bytes.find('\n', bytes.size() / 2) + 1;
    const std::string path = dir.write("log.json", bytes.substr(0, half));
    auto cache = std::make_shared<IndexCache>((dir.path() / "index").string());
    {
        LoadingWorkspace first;
        first.ws.loader.setIndexCache(cache);
        first.load(path);
    }
    LoadingWorkspace followed;
    followed.ws.loader.setIndexCache(cache);
    followed.ws.loader.setFollowing(true);
    followed.load(path);
    ASSERT_TRUE(followed.ws.loader.outcomes().back().fromIndex);
    std::size_t from = half;
    for (const std::size_t upto : {half + (bytes.size() - half) / 3, bytes.size()}) {
        appendTo(path, bytes.substr(from, upto - from));
        from = upto;
        const std::string want = freshContent(dir, completeLines(bytes.substr(0, upto)), false);
        filesUntil(followed, [&] { return storeContent(followed.ws, false) == want; });
        EXPECT_EQ(storeContent(followed.ws, false), want) << "up to " << upto;
    }
}

TEST(Follow, TruncationAndReplacementStopFollowing) {
    const std::string first =
        testsupport::procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 5, 1, "/bin/a") + "\n" +
        testsupport::procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 6, 5, "/bin/b") + "\n";
    const std::string later =
        testsupport::procLine("ES_EVENT_TYPE_NOTIFY_FORK", 7, 6, "/bin/c") + "\n";
    const struct {
        const char* name;
        void (*change)(const std::string& path, const std::string& later);
        std::string loaded;  // what the store ends with
        std::string notice;
        bool readable;  // its lines can still be read from the open file
    } cases[] = {
        {"truncated",
         [](const std::string& path, const std::string& later) {
             ::truncate(path.c_str(), 10);
             appendTo(path, later);
         },
         first, "log.json was truncated; following stopped at line 2", false},
        // Truncated and written again past the old end (a copy-truncate
        // rotation and a burst, or `cmd > log` run again): it looks grown,
        // but the bytes loaded last are gone.
        {"rewritten longer",
         [](const std::string& path, const std::string& later) {
             std::ofstream(path, std::ios::binary | std::ios::trunc)
                 << testsupport::procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 8, 1, "/bin/rewritten")
                 << "\n"
                 << later << later;
         },
         first, "log.json was truncated; following stopped at line 2", false},
        {"replaced",
         [](const std::string& path, const std::string& later) {
             appendTo(path, later);
             std::filesystem::rename(path, path + ".1");
             appendTo(path, later + later);
         },
         first + later, "log.json was replaced; following stopped at line 3", true},
        {"removed",
         [](const std::string& path, const std::string&) { std::filesystem::remove(path); }, first,
         "log.json was removed; following stopped at line 2", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.write("log.json", first);
        LoadingWorkspace followed;
        followed.ws.loader.setFollowing(true);
        followed.load(path);
        c.change(path, later);
        const auto& notices = followed.ws.loader.progress().followNotices;
        ASSERT_TRUE(filesUntil(followed, [&] { return !notices.empty(); }));
        EXPECT_EQ(notices, std::vector<std::string>{c.notice});
        EXPECT_TRUE(followed.ws.loader.idle());
        const std::string want = freshContent(dir, c.loaded, true, c.readable);
        EXPECT_TRUE(filesUntil(
            followed, [&] { return storeContent(followed.ws, true, c.readable) == want; }));
    }
}

// A log that cannot be followed is named, whether following was on when it
// loaded or was turned on after; one still followed keeps the loader
// following, and when it stops nothing is followed any more.
TEST(Follow, LogsThatCannotBeFollowedAreNamed) {
    const std::string line =
        testsupport::procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 5, 1, "/bin/a") + "\n";
    for (const bool onFirst : {true, false}) {
        SCOPED_TRACE(onFirst ? "on before the loads" : "turned on after");
        TempDir dir;
        LoadingWorkspace w;
        w.ws.loader.setFollowing(onFirst);
        const std::string plain = dir.write("plain.json", line);
        w.load({dir.write("s.json.gz", testsupport::gzipped(line)),
                (dir.path() / "none.json").string(), plain});
        w.ws.loader.setFollowing(true);
        const auto& notices = w.ws.loader.progress().followNotices;
        ASSERT_TRUE(filesUntil(w, [&] { return notices.size() == 2; }));
        EXPECT_EQ(notices,
                  (std::vector<std::string>{"s.json.gz is compressed; it is not followed",
                                            "none.json could not be opened; it is not followed"}));
        EXPECT_TRUE(w.ws.loader.followsSomeLog());
        std::filesystem::remove(plain);
        ASSERT_TRUE(filesUntil(w, [&] { return notices.size() == 3; }));
        EXPECT_FALSE(w.ws.loader.followsSomeLog());
    }
}

}  // namespace
}  // namespace korvantis

// The cache of indexes: where it lives, how its files are named and kept,
// what its size cap removes, and what a failed write turns off.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "index/index_cache.h"
#include "index/index_info.h"
#include "input/temp_files.h"

namespace korvantis {
namespace {

using testing::TempDir;

// Sets an environment variable for the test's length.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

mode_t modeOf(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
}

LogIdentity identityOfLog(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    const auto identity = identityOf(fd);
    ::close(fd);
    return identity.value_or(LogIdentity{});
}

// Saves an index of `log` holding `bytes` in one section.
bool saveIndex(IndexCache& cache, const std::string& log, std::size_t bytes,
               std::string* notice = nullptr) {
    return cache.save(
        *IndexCache::realPathOf(log), identityOfLog(log),
        [&](IndexWriter& writer) {
            writer.beginSection("rows");
            writer.append(std::string(bytes, 'r'));
            writer.endSection();
        },
        notice);
}

TEST(IndexCache, LivesInTheUsersCacheFolderMadeOnlyToWrite) {
    TempDir dir;
    const std::string xdg = (dir.path() / "xdg").string();
    std::filesystem::create_directory(xdg);
    {
        ScopedEnv env("XDG_CACHE_HOME", xdg.c_str());
        std::string why;
        EXPECT_EQ(IndexCache::defaultFolder(false, &why), xdg + "/korvantis/index");
        EXPECT_TRUE(std::filesystem::is_empty(xdg)) << "looking made something";
        EXPECT_EQ(IndexCache::defaultFolder(true), xdg + "/korvantis/index");
        EXPECT_EQ(modeOf(xdg + "/korvantis/index"), 0700u);
        EXPECT_EQ(IndexCache::defaultFolder(false), xdg + "/korvantis/index");
    }
    // Without XDG_CACHE_HOME, or with one that is no absolute path: ~/.cache.
    for (const char* xdgValue : {static_cast<const char*>(nullptr), "relative/cache"}) {
        ScopedEnv env("XDG_CACHE_HOME", xdgValue);
        ScopedEnv home("HOME", dir.path().c_str());
        EXPECT_EQ(IndexCache::defaultFolder(true), dir.path().string() + "/.cache/korvantis/index");
    }
}

TEST(IndexCache, KeepsAnIndexPerLogNamedByItsRealPath) {
    TempDir dir;
    IndexCache cache((dir.path() / "index").string());
    const std::string log = dir.write("log.json", "{}\n");
    const std::string other = dir.write("other.json", "{}\n");
    std::filesystem::create_symlink(log, dir.path() / "link.json");
    EXPECT_EQ(cache.find(*IndexCache::realPathOf(log)).state, IndexCache::Lookup::State::none);

    std::string notice;
    ASSERT_TRUE(saveIndex(cache, log, 1000, &notice)) << notice;
    const std::string path = cache.pathFor(*IndexCache::realPathOf(log));
    EXPECT_EQ(modeOf(cache.folder()), 0700u);
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(cache.folder()), {}), 1)
        << "nothing is left beside the index";
    // Found under the log's own name and through a link to it.
    for (const std::string& name : {log, (dir.path() / "link.json").string()}) {
        const auto lookup = cache.find(*IndexCache::realPathOf(name));
        ASSERT_EQ(lookup.state, IndexCache::Lookup::State::found) << lookup.whyNot;
        EXPECT_EQ(lookup.path, path);
        EXPECT_EQ(lookup.file->section("rows"), std::string(1000, 'r'));
    }
    // Another log's index under this log's name is not taken for its own.
    std::filesystem::copy_file(path, cache.pathFor(*IndexCache::realPathOf(other)));
    const auto foreign = cache.find(*IndexCache::realPathOf(other));
    EXPECT_EQ(foreign.state, IndexCache::Lookup::State::unusable);
    EXPECT_EQ(foreign.whyNot, "it is the index of another log");
}

TEST(IndexCache, SaysPerLogWhatItHolds) {
    TempDir dir;
    IndexCache cache((dir.path() / "index").string());
    const std::string log = dir.write("log.json", "{\"a\":1}\n");
    const std::string path = cache.pathFor(*IndexCache::realPathOf(log));
    EXPECT_EQ(indexInfo(cache, log).text, "no index (it would be " + path + ")");
    ASSERT_TRUE(saveIndex(cache, log, 10));
    const std::string where =
        "index " + path + ", " + std::to_string(std::filesystem::file_size(path)) + " bytes";
    EXPECT_EQ(indexInfo(cache, log).text, where + ": matches the log");
    std::ofstream(log, std::ios::app) << "{\"b\":2}\n";
    EXPECT_EQ(indexInfo(cache, log).text, where + ": the log has grown since it was indexed");
    std::ofstream(log) << "{\"c\":3}\n";
    EXPECT_EQ(indexInfo(cache, log).text, where + ": the log has changed since it was indexed");
    const std::string written = std::to_string(std::filesystem::file_size(path));
    std::filesystem::resize_file(path, 200);
    EXPECT_EQ(indexInfo(cache, log).text, "index " + path +
                                              ", 200 bytes, cannot be used: it is 200 bytes "
                                              "long, not the " +
                                              written + " it was written with");
    EXPECT_FALSE(indexInfo(cache, (dir.path() / "none.json").string()).logOpened);
}

TEST(IndexCache, TrimsTheLeastRecentlyUsedButNeverOneInUse) {
    TempDir dir;
    IndexCache cache((dir.path() / "index").string());
    cache.setCap(std::uint64_t{1} << 40);  // no trimming while saving
    std::vector<std::string> logs;
    std::vector<std::string> indexes;
    for (int i = 0; i < 4; ++i) {
        logs.push_back(dir.write("log" + std::to_string(i) + ".json", "{}\n"));
        ASSERT_TRUE(saveIndex(cache, logs.back(), 100'000));
        indexes.push_back(cache.pathFor(*IndexCache::realPathOf(logs.back())));
        // Last used i hours ago: log0 longest ago.
        struct timespec times[2] = {{std::time(nullptr) - (4 - i) * 3600, 0}, {0, UTIME_OMIT}};
        ::utimensat(AT_FDCWD, indexes.back().c_str(), times, 0);
    }
    // A writer that stopped half-way left a partial file.
    const std::string partial = indexes[0] + ".partial-abcdef";
    std::ofstream(partial) << "half";
    // log0's index is open: in use, it stays although it is the oldest.
    const auto inUse = cache.find(*IndexCache::realPathOf(logs[0]), false);
    ASSERT_EQ(inUse.state, IndexCache::Lookup::State::found);
    const std::uint64_t each = std::filesystem::file_size(indexes[0]);
    EXPECT_EQ(cache.trim(2 * each + 4), 3u);  // log1, log2 and the partial file
    EXPECT_TRUE(std::filesystem::exists(indexes[0]));
    EXPECT_FALSE(std::filesystem::exists(indexes[1]));
    EXPECT_FALSE(std::filesystem::exists(indexes[2]));
    EXPECT_TRUE(std::filesystem::exists(indexes[3]));
    EXPECT_FALSE(std::filesystem::exists(partial));
    // Using an index makes it the most recent.
    cache.find(*IndexCache::realPathOf(logs[0]));
    EXPECT_EQ(cache.trim(each), 1u);  // log3, now the least recently used
    EXPECT_FALSE(std::filesystem::exists(indexes[3]));
    EXPECT_EQ(cache.trim(0), 0u);  // log0 is in use
    EXPECT_TRUE(std::filesystem::exists(indexes[0]));
}

TEST(IndexCache, AWriteFailureTurnsIndexingOffForThatLog) {
    TempDir dir;
    // The cache's place is taken by a file: nothing can be written there.
    const std::string blocked = dir.write("blocked", "");
    IndexCache cache(blocked + "/index");
    const std::string log = dir.write("log.json", "{}\n");
    const std::string other = dir.write("other.json", "{}\n");
    std::string notice;
    EXPECT_FALSE(saveIndex(cache, log, 10, &notice));
    EXPECT_EQ(notice, "Indexing is off for " + *IndexCache::realPathOf(log) +
                          ": its index cannot be written in " + blocked +
                          "/index: Not a directory");
    EXPECT_TRUE(cache.indexingOff(*IndexCache::realPathOf(log)));
    EXPECT_FALSE(cache.indexingOff(*IndexCache::realPathOf(other)));
    EXPECT_FALSE(saveIndex(cache, log, 10));
}

TEST(IndexCache, DefaultCapIsATenthOfTheFreeSpaceUpTo50GB) {
    TempDir dir;
    const std::uint64_t cap = IndexCache::defaultCap(dir.path().string());
    EXPECT_GT(cap, 0u);
    EXPECT_LE(cap, 50'000'000'000ull);
    EXPECT_LE(cap, std::filesystem::space(dir.path()).available / 10 + 4096);
}

}  // namespace
}  // namespace korvantis

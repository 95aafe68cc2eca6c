#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "input/cache_file.h"
#include "input/log_text.h"
#include "input/stream_reader.h"
#include "support/compressed_copies.h"
#include "temp_files.h"

namespace korvantis {
namespace {

using testing::TempDir;

// The cache folder is a temporary one for the length of a test.
class SpooledInput : public ::testing::Test {
  protected:
    void SetUp() override { ::setenv("XDG_CACHE_HOME", dir.path().c_str(), 1); }
    void TearDown() override { ::unsetenv("XDG_CACHE_HOME"); }
    TempDir dir;
};

// A FIFO's bytes (plain or compressed) read as a file's, and read again from
// the spool they were written to; the spool is owner-only, locked, and goes
// with the reader's text.
TEST_F(SpooledInput, FifoIsReadThroughASpool) {
    std::string text;
    for (int i = 0; i < 20000; ++i) {
        text += "{\"n\":" + std::to_string(i) + "}\n";
    }
    for (const std::string& bytes :
         {text, testsupport::gzipped(text), testsupport::zstdCompressed(text)}) {
        const std::string fifo = (dir.path() / "fifo").string();
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        std::thread writer([&] { testsupport::writeFile(fifo, bytes); });
        auto reader = StreamReader::openLog(fifo, "\n", 4096, nullptr);
        ASSERT_TRUE(reader);
        std::string read;
        while (auto run = reader->nextLines()) {
            read += *run;
        }
        writer.join();
        EXPECT_EQ(read, text);
        EXPECT_EQ(reader->fileBytesRead(), bytes.size());
        std::shared_ptr<const LogText> again = reader->logText();
        ASSERT_TRUE(again);
        std::string piece(9, '\0');
        EXPECT_EQ(again->readAt(piece.data(), piece.size(), text.size() - 9), 9);
        EXPECT_EQ(piece, text.substr(text.size() - 9));

        struct stat st;
        std::filesystem::path spool;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path() / "korvantis")) {
            if (entry.path().filename().string().starts_with("spool-")) {
                spool = entry.path();
            }
        }
        ASSERT_EQ(::stat(spool.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        EXPECT_EQ(static_cast<std::size_t>(st.st_size), bytes.size());
        const int fd = ::open(spool.c_str(), O_RDONLY);
        EXPECT_NE(::flock(fd, LOCK_EX | LOCK_NB), 0) << "the spool is not locked";
        ::close(fd);
        reader.reset();
        again.reset();
        EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "korvantis"));
        std::filesystem::remove(fifo);
    }
}

// A pipe that stays open and silent ends the read once it is stopped (here
// while the reader still waits for its first bytes).
TEST_F(SpooledInput, SilentPipeEndsWhenStopped) {
    const std::string fifo = (dir.path() / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::atomic<bool> stop{false};
    int writer = -1;
    std::thread silent([&] {
        writer = ::open(fifo.c_str(), O_WRONLY);  // waits for the reader
        stop = true;
    });
    auto reader = StreamReader::openLog(fifo, "\n", 4096, &stop);
    silent.join();
    ASSERT_TRUE(reader);
    EXPECT_FALSE(reader->nextLines());
    EXPECT_EQ(reader->failure(), std::nullopt);
    ::close(writer);
}

// Files of the cache folder that nobody holds (a crash left them) go; one an
// instance holds stays.
TEST_F(SpooledInput, StaleFilesAreRemoved) {
    auto held = CacheFile::create("spool");
    ASSERT_TRUE(held);
    const std::string left = (dir.path() / "korvantis" / "spool-left").string();
    testsupport::writeFile(left, "x");
    CacheFile::removeStale();
    EXPECT_FALSE(std::filesystem::exists(left));
    EXPECT_TRUE(std::filesystem::exists(held->path()));
    const std::string path = held->path();
    held.reset();
    EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace korvantis

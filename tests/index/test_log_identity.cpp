// What an index recorded of its log against the log as it is later: the
// same, only grown, or changed, over every kind of change a log can see.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "index/log_identity.h"
#include "input/temp_files.h"

namespace korvantis {
namespace {

using testing::TempDir;

void append(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::app) << bytes;
}

// Overwrites one byte in place, keeping the modification time, so that
// only the checksums can tell.
void poke(const std::string& path, std::uint64_t at) {
    struct stat before;
    ::stat(path.c_str(), &before);
    const int fd = ::open(path.c_str(), O_WRONLY);
    char x = '#';
    EXPECT_EQ(::pwrite(fd, &x, 1, static_cast<off_t>(at)), 1);
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ::futimens(fd, times);
    ::close(fd);
}

void touch(const std::string& path) {
    struct stat before;
    ::stat(path.c_str(), &before);
    struct timespec times[2] = {before.st_atim, before.st_mtim};
    times[1].tv_sec += 1;
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

IdentityMatch matchNow(const LogIdentity& recorded, const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    const IdentityMatch match = matchLog(recorded, fd);
    ::close(fd);
    return match;
}

TEST(LogIdentity, ChangesOfTheLogAndWhatTheyGive) {
    struct Case {
        const char* name;
        std::function<void(const std::string&, std::uint64_t size)> change;
        IdentityMatch expected;
    };
    const Case cases[] = {
        {"untouched", [](const std::string&, std::uint64_t) {}, IdentityMatch::same},
        {"touched", [](const std::string& p, std::uint64_t) { touch(p); }, IdentityMatch::changed},
        {"truncated",
         [](const std::string& p, std::uint64_t size) {
             std::filesystem::resize_file(p, size - 10);
         },
         IdentityMatch::changed},
        {"truncated and grown back to a larger size",
         [](const std::string& p, std::uint64_t size) {
             std::filesystem::resize_file(p, size - 10);
             append(p, std::string(20, 'y'));
         },
         IdentityMatch::changed},
        {"replaced by a copy",
         [](const std::string& p, std::uint64_t) {
             std::filesystem::copy_file(p, p + ".new");
             std::filesystem::rename(p + ".new", p);
         },
         IdentityMatch::changed},
        {"grown", [](const std::string& p, std::uint64_t) { append(p, "{\"more\":1}\n"); },
         IdentityMatch::grown},
        {"grown with its last MiB changed",
         [](const std::string& p, std::uint64_t size) {
             poke(p, size - 3);
             append(p, "{\"more\":1}\n");
         },
         IdentityMatch::changed},
        {"grown with its first MiB changed",
         [](const std::string& p, std::uint64_t) {
             poke(p, 1);
             append(p, "{\"more\":1}\n");
         },
         IdentityMatch::changed},
        {"rewritten in place, time kept", [](const std::string& p, std::uint64_t) { poke(p, 0); },
         IdentityMatch::changed},
    };
    // A log smaller than the checksummed MiB and one larger than two of them.
    for (const std::uint64_t size : {std::uint64_t{300}, 2 * kIdentityBlock + 999}) {
        for (const Case& c : cases) {
            TempDir dir;
            std::string text(size, 'x');
            for (std::uint64_t at = 99; at < size; at += 100) {
                text[at] = '\n';
            }
            const std::string path = dir.write("log.json", text);
            const int fd = ::open(path.c_str(), O_RDONLY);
            const auto recorded = identityOf(fd);
            ::close(fd);
            ASSERT_TRUE(recorded);
            EXPECT_EQ(recorded->size, size);
            c.change(path, size);
            EXPECT_EQ(identityMatchName(matchNow(*recorded, path)), identityMatchName(c.expected))
                << c.name << ", " << size << " bytes";
        }
    }
}

// A log of the same inode number and bytes on another disk is another log.
TEST(LogIdentity, AnotherDeviceIsAnotherLog) {
    const auto bytes = [](std::uint64_t, std::uint64_t) -> std::optional<std::uint64_t> {
        return 7;
    };
    const LogStat stat{1, 2, 100, 5};
    const auto recorded = identityFrom(stat, bytes);
    ASSERT_TRUE(recorded);
    EXPECT_EQ(compareIdentity(*recorded, stat, bytes), IdentityMatch::same);
    EXPECT_EQ(compareIdentity(*recorded, {2, 2, 100, 5}, bytes), IdentityMatch::changed);
    EXPECT_EQ(compareIdentity(*recorded, {1, 3, 100, 5}, bytes), IdentityMatch::changed);
    EXPECT_EQ(compareIdentity(*recorded, {1, 2, 101, 6}, bytes), IdentityMatch::grown);
    // A log that can no longer be read is not the one recorded.
    const auto unreadable = [](std::uint64_t, std::uint64_t) -> std::optional<std::uint64_t> {
        return std::nullopt;
    };
    EXPECT_EQ(compareIdentity(*recorded, stat, unreadable), IdentityMatch::changed);
}

}  // namespace
}  // namespace korvantis

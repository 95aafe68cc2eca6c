#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "decode/utf8_text.h"
#include "input/raw_input.h"
#include "input/stream_reader.h"
#include "temp_files.h"

namespace korvantis {
namespace {

using testing::TempDir;
using Lines = std::vector<std::string>;

// Reads every line, with the validity flag of each. (Every chunk size,
// delimiter, empty and long lines, and reading as runs of lines are compared
// with a plain cut by the stream reader's fuzz target.)
Lines linesOf(const std::string& bytes, std::vector<bool>& valid) {
    TempDir dir;
    auto reader = StreamReader::open(dir.write("log", bytes), "\n", 4096);
    EXPECT_TRUE(reader);
    Lines lines;
    for (auto line = reader ? reader->nextLine() : std::nullopt; line; line = reader->nextLine()) {
        lines.emplace_back(line->text);
        valid.push_back(line->valid);
    }
    return lines;
}

TEST(StreamReader, Utf8ValidityPerLine) {
    // "é" is two bytes; its first byte ends the first chunk.
    const std::string split = std::string(4095, 'a') + "\xC3\xA9" + "z";
    std::vector<bool> valid;
    EXPECT_EQ(linesOf(split + "\n" + split, valid), (Lines{split, split}));
    EXPECT_EQ(valid, (std::vector<bool>{true, true}));
    // An invalid line is marked, kept as read, and reading goes on.
    valid.clear();
    EXPECT_EQ(linesOf("line 1\nbad \xFF\xC3 line\nline 3\n", valid),
              (Lines{"line 1", "bad \xFF\xC3 line", "line 3"}));
    EXPECT_EQ(valid, (std::vector<bool>{true, false, true}));
}

// Bytes appended after the end was seen are not read any more, nor is
// anything after closing. (The end itself, and closing twice, are the
// reader's fuzz target's.)
TEST(StreamReader, EndOfFileStaysEnded) {
    TempDir dir;
    auto reader = StreamReader::open(dir.write("log", "a\n"));
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->nextLine()->text, "a");
    EXPECT_FALSE(reader->nextLine());
    dir.write("log", "a\nb\n");
    EXPECT_FALSE(reader->nextLine());
    reader->close();
    EXPECT_FALSE(reader->nextLine());
}

// Directories, FIFOs, devices and links to them are refused, and at once: a
// FIFO without a writer would block a plain open (the alarm ends the test
// then), /dev/zero would never end. A link to a file is read.
TEST(StreamReader, OnlyRegularFilesOpen) {
    TempDir dir;
    const std::string fifo = (dir.path() / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string toDevice = (dir.path() / "zero.json").string();
    std::filesystem::create_symlink("/dev/zero", toDevice);
    ::alarm(60);
    for (const std::string& path :
         {(dir.path() / "missing").string(), dir.path().string(), std::string(), fifo,
          std::string("/dev/null"), std::string("/dev/zero"), std::string("/dev/urandom"),
          toDevice}) {
        EXPECT_FALSE(StreamReader::open(path)) << path;
    }
    ::alarm(0);
    const std::string file = dir.write("log", "x");
    const std::string toFile = (dir.path() / "link.json").string();
    std::filesystem::create_symlink(file, toFile);
    EXPECT_TRUE(StreamReader::open(toFile));
    EXPECT_FALSE(StreamReader::open(file, ""));
    if (::geteuid() != 0) {  // root reads every file
        ::chmod(file.c_str(), 0);
        EXPECT_FALSE(StreamReader::open(file));
    }
}

// Dropping what was read from the page cache (done for logs larger than half
// the memory) changes no byte read, by plain or by positioned reads.
TEST(RawInput, DropBehindReadsTheSameBytes) {
    std::string bytes(std::size_t{80} << 20, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>('a' + i * 7919 % 26);
    }
    TempDir dir;
    const std::string path = dir.write("big", bytes);
    for (const std::uint64_t startAt : {std::uint64_t{0}, std::uint64_t{3}}) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        RawInput input(fd);
        if (startAt != 0) {
            input.startAt(startAt);
        }
        input.dropBehind();
        std::string read(bytes.size(), '\0');
        std::size_t at = startAt;
        while (const std::size_t n = input.read(
                   read.data() + at, std::min<std::size_t>(1 << 20, bytes.size() - at))) {
            at += n;
        }
        ::close(fd);
        EXPECT_EQ(at, bytes.size());
        EXPECT_TRUE(std::string_view(read).substr(startAt) ==
                    std::string_view(bytes).substr(startAt));
    }
}

// A text is valid exactly when replacing changes nothing.
TEST(Utf8, ValidationAndReplacement) {
    const std::string fffd = "\xEF\xBF\xBD";
    const struct {
        std::string in, out;
    } cases[] = {
        {"ok \xC3\xA9 \xF0\x9F\x98\x80", "ok \xC3\xA9 \xF0\x9F\x98\x80"},
        {"a\xFF\x62", "a" + fffd + "b"},
        {"\xC3", fffd},
        // A truncated sequence is one replacement; the byte that broke it is
        // looked at again.
        {"\xE2\x82\x41", fffd + "A"},
        {"\xF0\x9F\x98", fffd},
        // Each byte of an overlong form or a surrogate is replaced on its own.
        {"\xC0\xAF", fffd + fffd},
        {"\xED\xA0\x80", fffd + fffd + fffd},
        {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(toValidUtf8(c.in), c.out) << c.in;
        EXPECT_EQ(isValidUtf8(c.in), c.in == c.out) << c.in;
    }
    EXPECT_TRUE(isValidUtf8(toValidUtf8("\x80\xBF\xFE\xFF\xC3")));
}

}  // namespace
}  // namespace korvantis

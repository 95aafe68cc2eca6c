#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "ingest/stream_reader.h"
#include "temp_files.h"

namespace korvantis {
namespace {

using testing::TempDir;

struct ReadResult {
    std::vector<std::string> lines;
    std::vector<bool> valid;
};

ReadResult readAll(StreamReader& reader) {
    ReadResult result;
    while (auto line = reader.nextLine()) {
        result.lines.emplace_back(line->text);
        result.valid.push_back(line->valid);
        // The padding after every line must be readable (ASan checks it).
        volatile char sink = 0;
        for (std::size_t i = 0; i < StreamReader::kPadding; ++i) {
            sink = sink ^ line->text.data()[line->text.size() + i];
        }
    }
    return result;
}

std::vector<std::string> linesOf(const std::string& bytes, std::int64_t chunk = 4096) {
    TempDir dir;
    auto reader = StreamReader::open(dir.write("log", bytes), "\n", chunk);
    EXPECT_TRUE(reader);
    if (!reader) {
        return {};
    }
    return readAll(*reader).lines;
}

using Lines = std::vector<std::string>;

TEST(StreamReader, LineCutting) {
    EXPECT_EQ(linesOf(""), Lines{});
    EXPECT_EQ(linesOf("a\nb\n"), (Lines{"a", "b"}));
    EXPECT_EQ(linesOf("a\nb"), (Lines{"a", "b"}));
    EXPECT_EQ(linesOf("\n"), (Lines{""}));
    EXPECT_EQ(linesOf("a\n\n\nb\n\n"), (Lines{"a", "", "", "b", ""}));
    EXPECT_EQ(linesOf("a\r\nb\r\n"), (Lines{"a\r", "b\r"}));
}

TEST(StreamReader, SmallChunksGiveTheSameLines) {
    const std::string text = "first line\n\nthird\r\nlast without delimiter";
    const Lines want = linesOf(text);
    for (std::int64_t chunk : {1, 2, 3, 5, 7, 64}) {
        EXPECT_EQ(linesOf(text, chunk), want) << chunk;
    }
}

TEST(StreamReader, LongLinesAreAssembled) {
    std::string longLine;
    for (int i = 0; longLine.size() < 200000; ++i) {
        longLine += std::to_string(i) + ",";
    }
    const Lines got = linesOf("short\n" + longLine + "\nx\n" + longLine);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0], "short");
    EXPECT_EQ(got[1], longLine);
    EXPECT_EQ(got[2], "x");
    EXPECT_EQ(got[3], longLine);
}

TEST(StreamReader, MultiByteCharacterAcrossChunks) {
    // "é" is two bytes; put its first byte at the end of the first chunk.
    const std::string line = std::string(4095, 'a') + "\xC3\xA9" + "z";
    TempDir dir;
    auto reader = StreamReader::open(dir.write("log", line + "\n" + line), "\n", 4096);
    ASSERT_TRUE(reader);
    const ReadResult r = readAll(*reader);
    ASSERT_EQ(r.lines.size(), 2u);
    EXPECT_EQ(r.lines[0], line);
    EXPECT_TRUE(r.valid[0]);
    EXPECT_TRUE(r.valid[1]);
}

TEST(StreamReader, InvalidLineIsMarkedAndReadingGoesOn) {
    std::string text;
    for (int i = 1; i <= 10; ++i) {
        text += i == 4 ? std::string("bad \xFF\xC3 line") : "line " + std::to_string(i);
        text += "\n";
    }
    TempDir dir;
    auto reader = StreamReader::open(dir.write("log", text));
    ASSERT_TRUE(reader);
    const ReadResult r = readAll(*reader);
    ASSERT_EQ(r.lines.size(), 10u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(r.valid[i], i != 3) << i;
    }
    EXPECT_EQ(r.lines[3], "bad \xFF\xC3 line");
    EXPECT_EQ(r.lines[9], "line 10");
}

TEST(StreamReader, EndOfFileStaysEnded) {
    TempDir dir;
    const std::string path = dir.write("log", "a\n");
    auto reader = StreamReader::open(path);
    ASSERT_TRUE(reader);
    EXPECT_FALSE(reader->atEof());
    EXPECT_EQ(reader->nextLine()->text, "a");
    EXPECT_FALSE(reader->nextLine());
    EXPECT_TRUE(reader->atEof());
    // Bytes appended after the end was seen are not read any more.
    dir.write("log", "a\nb\n");
    EXPECT_FALSE(reader->nextLine());
    reader->close();
    EXPECT_FALSE(reader->isOpen());
    reader->close();  // harmless
    EXPECT_FALSE(reader->isOpen());
}

TEST(StreamReader, OnlyRegularFilesOpen) {
    TempDir dir;
    EXPECT_FALSE(StreamReader::open((dir.path() / "missing").string()));
    EXPECT_FALSE(StreamReader::open(dir.path().string()));
    EXPECT_FALSE(StreamReader::open(""));
    // A FIFO without a writer would block a plain open; it is refused at once.
    const std::string fifo = (dir.path() / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(StreamReader::open(fifo));
    EXPECT_FALSE(StreamReader::open("/dev/null"));
    const std::string file = dir.write("log", "x");
    EXPECT_FALSE(StreamReader::open(file, ""));
    auto reader = StreamReader::open(file);
    ASSERT_TRUE(reader);
    EXPECT_TRUE(reader->isOpen());
}

TEST(StreamReader, UnreadableFileDoesNotOpen) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads every file";
    }
    TempDir dir;
    const std::string file = dir.write("log", "x\n");
    ::chmod(file.c_str(), 0);
    EXPECT_FALSE(StreamReader::open(file));
}

TEST(StreamReader, MultiByteDelimiter) {
    TempDir dir;
    auto reader = StreamReader::open(dir.write("log", "a--b-c----"), "--", 3);
    ASSERT_TRUE(reader);
    EXPECT_EQ(readAll(*reader).lines, (Lines{"a", "b-c", ""}));
}

TEST(Utf8, Validation) {
    EXPECT_TRUE(StreamReader::isValidUtf8(""));
    EXPECT_TRUE(StreamReader::isValidUtf8("plain \xC3\xA9 \xF0\x9F\x98\x80"));
    EXPECT_FALSE(StreamReader::isValidUtf8("\xC3"));
    EXPECT_FALSE(StreamReader::isValidUtf8("\xED\xA0\x80"));  // surrogate
    EXPECT_FALSE(StreamReader::isValidUtf8("\xC0\xAF"));      // overlong
}

TEST(Utf8, ReplacementOfInvalidSequences) {
    const std::string fffd = "\xEF\xBF\xBD";
    EXPECT_EQ(StreamReader::toValidUtf8("ok \xC3\xA9"), "ok \xC3\xA9");
    EXPECT_EQ(StreamReader::toValidUtf8("a\xFF"
                                        "b"),
              "a" + fffd + "b");
    // A truncated sequence is one replacement; the byte that broke it is
    // looked at again.
    EXPECT_EQ(StreamReader::toValidUtf8("\xE2\x82"
                                        "A"),
              fffd + "A");
    EXPECT_EQ(StreamReader::toValidUtf8("\xF0\x9F\x98"), fffd);
    // Each byte of an overlong form or a surrogate is replaced on its own.
    EXPECT_EQ(StreamReader::toValidUtf8("\xC0\xAF"), fffd + fffd);
    EXPECT_EQ(StreamReader::toValidUtf8("\xED\xA0\x80"), fffd + fffd + fffd);
    EXPECT_EQ(StreamReader::toValidUtf8("\xF4\x90\x80\x80"), fffd + fffd + fffd + fffd);
    EXPECT_TRUE(StreamReader::isValidUtf8(StreamReader::toValidUtf8("\x80\xBF\xFE\xFF\xC3")));
}

}  // namespace
}  // namespace korvantis

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "input/gzip_index.h"
#include "input/log_text.h"
#include "input/stream_reader.h"
#include "input/text_source.h"
#include "support/compressed_copies.h"
#include "temp_files.h"

namespace korvantis {
namespace {

using testing::TempDir;
using testsupport::gzipped;
using testsupport::zstdCompressed;
using testsupport::zstdSkippableFrame;

// Lines of varied length and content, the last one without its line feed.
std::string someText(std::size_t lines) {
    std::string text;
    std::uint64_t x = 12345;
    for (std::size_t i = 0; i < lines; ++i) {
        x = x * 6364136223846793005u + 1442695040888963407u;
        text += R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","n":)" + std::to_string(i) + R"(,"r":")" +
                std::string((x >> 33) % 200, static_cast<char>('a' + (x >> 20) % 26)) +
                std::to_string(x) + "\"}\n";
    }
    return text + "tail without line feed";
}

// What a reader makes of a file: the text of its lines, why it stopped early.
struct ReadBack {
    std::string text;
    std::optional<std::string> failure;
    std::shared_ptr<const LogText> random;
};

ReadBack readAll(const TempDir& dir, const std::string& bytes, std::int64_t chunk) {
    auto reader = StreamReader::open(dir.write("log", bytes), "\n", chunk);
    EXPECT_TRUE(reader);
    ReadBack out;
    while (auto run = reader->nextLines()) {
        out.text += *run;
    }
    out.failure = reader->failure();
    out.random = reader->logText();
    EXPECT_EQ(reader->fileBytesRead(), bytes.size());
    return out;
}

std::string wholeLines(const std::string& text) {
    return text.substr(0, text.rfind('\n') + 1);
}

// Every member or frame is read in turn; bytes that start none after the
// last one, or a stream cut short, end the text after its last whole line,
// with a failure naming the compressed offset. A stream of nothing but a
// skippable frame has no lines and no failure. (A copy of one member or
// frame, or of many, an empty stream, and bytes short of a whole magic read
// as a plain log, are the reader's fuzz target's.)
TEST(CompressedLogs, ReadAsThePlainText) {
    const std::string text = someText(3000);
    const std::string gz = gzipped(text);
    const std::string zst = zstdCompressed(text);
    // (Damage inside deflate data may decode to other text, caught only by
    // the member's checksum; a block of no known type fails where it is.)
    std::string damaged = gz;
    damaged[10] = '\xff';
    struct Case {
        const char* name;
        std::string bytes;
        std::optional<std::string> read;        // none: the whole lines of a start of it
        std::optional<std::uint64_t> failedAt;  // fails also when `read` is none
    };
    const Case cases[] = {
        {"an empty gzip member first", gzipped("") + gz, text, {}},
        {"gzip then garbage", gz + "garbage", wholeLines(text), gz.size()},
        {"gzip then one byte of a magic", gz + "\x1f", wholeLines(text), gz.size()},
        {"gzip cut short", gz.substr(0, gz.size() / 2), {}, gz.size() / 2},
        {"gzip without the end of its trailer", gz.substr(0, gz.size() - 4), wholeLines(text),
         gz.size() - 4},
        {"gzip damaged", damaged, {}, {}},
        {"skippable frames around frames",
         zstdSkippableFrame("abc", 0) + zstdCompressed(text.substr(0, 5000)) +
             zstdSkippableFrame(std::string(70000, 'x'), 15) + zstdCompressed(text.substr(5000)),
         text,
         {}},
        {"only a skippable frame", zstdSkippableFrame("skip me"), "", {}},
        {"zstd then garbage", zst + "garbage!", wholeLines(text), zst.size()},
        {"zstd cut short", zst.substr(0, zst.size() / 2), {}, zst.size() / 2},
    };
    TempDir dir;
    for (const Case& c : cases) {
        for (const std::int64_t chunk : {std::int64_t{4096}, std::int64_t{256} << 10}) {
            SCOPED_TRACE(std::string(c.name) + ", chunk " + std::to_string(chunk));
            const ReadBack read = readAll(dir, c.bytes, chunk);
            EXPECT_TRUE(read.random);
            EXPECT_EQ(read.failure.has_value(), c.failedAt || !c.read);
            if (c.failedAt) {
                EXPECT_EQ(read.failure, decompressionFailureText(*c.failedAt));
            }
            if (c.read) {
                EXPECT_EQ(read.text, *c.read);
            } else {
                EXPECT_EQ(read.text, wholeLines(read.text));
                EXPECT_TRUE(text.starts_with(read.text));
                EXPECT_LT(read.text.size(), text.size());
            }
        }
    }
}

// Reading again at any offset gives the text's own bytes: the differential
// check of the access points (gzip: inside members and at their starts;
// zstd: whole blocks of the copy and the text after them), in any order,
// in order, and past the end.
TEST(CompressedLogs, ReadAgainAtAnyOffset) {
    const std::string text = someText(90000);  // some 10 MiB: several points and blocks
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"gzip", gzipped(text, 1)},
        {"gzip members of 3 MiB", gzipped(text, 1, std::size_t{3} << 20)},
        {"zstd", zstdCompressed(text, 1)},
        {"zstd frames of 3 MiB", zstdCompressed(text, 1, std::size_t{3} << 20)},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ReadBack read = readAll(dir, c.bytes, std::int64_t{256} << 10);
        ASSERT_EQ(read.text, text);
        ASSERT_TRUE(read.random);
        if (auto* index = dynamic_cast<const GzipIndex*>(read.random.get())) {
            EXPECT_GE(index->pointCount(), text.size() / GzipIndex::kSpacing);
        }
        std::uint64_t x = 99;
        std::string got;
        for (int i = 0; i < 60; ++i) {
            x = x * 6364136223846793005u + 1442695040888963407u;
            const std::uint64_t offset = (x >> 11) % text.size();
            const std::size_t size = (x >> 3) % 6000;
            got.assign(size, '\0');
            const ssize_t n = read.random->readAt(got.data(), size, offset);
            ASSERT_EQ(n, static_cast<ssize_t>(std::min<std::uint64_t>(size, text.size() - offset)));
            got.resize(static_cast<std::size_t>(n));
            ASSERT_EQ(got, text.substr(offset, size)) << "at " << offset;
        }
        std::string inOrder;
        char piece[70000];
        for (ssize_t n; (n = read.random->readAt(piece, sizeof piece, inOrder.size())) > 0;) {
            inOrder.append(piece, static_cast<std::size_t>(n));
        }
        EXPECT_EQ(inOrder, text);
        EXPECT_EQ(read.random->readAt(piece, 10, text.size() + 5), 0);
    }
}

}  // namespace
}  // namespace korvantis

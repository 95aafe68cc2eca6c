// The line reader over arbitrary bytes and chunk sizes. The first three bytes
// choose the chunk size and the delimiter; the rest is the file. The lines
// read must be exactly the file cut at each first delimiter from the front,
// with no empty line after a final delimiter, so joined back they give the file.
// Read as runs of whole lines, the runs joined give the file and cut give the
// same lines. A gzip or zstd copy of the file reads as the file; a file that
// is itself compressed data reads as whole lines, whatever it holds.

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "decode/utf8_text.h"
#include "fuzz_support.h"
#include "input/stream_reader.h"
#include "input/text_source.h"
#include "support/compressed_copies.h"

using namespace korvantis;

namespace {

std::vector<std::string_view> cut(std::string_view bytes, std::string_view delimiter) {
    std::vector<std::string_view> lines;
    while (!bytes.empty()) {
        const std::size_t at = bytes.find(delimiter);
        if (at == std::string_view::npos) {
            lines.push_back(bytes);
            break;
        }
        lines.push_back(bytes.substr(0, at));
        bytes.remove_prefix(at + delimiter.size());
    }
    return lines;
}

// Every run read from the scratch file, joined; whether the reader failed.
std::string readRuns(std::string_view delimiter, std::int64_t chunkSize, bool& failed) {
    auto reader = StreamReader::open(fuzz::ScratchFile::instance().path(), delimiter, chunkSize);
    FUZZ_CHECK(reader, "a regular file must open");
    std::string joined;
    while (auto run = reader->nextLines()) {
        joined += *run;
    }
    failed = reader->failure().has_value();
    FUZZ_CHECK(!failed || joined.empty() || joined.ends_with(delimiter),
               "a line cut short by a failure was returned");
    return joined;
}

// Compressed data of any shape decodes without harm.
int readCompressed(std::string_view delimiter, std::int64_t chunkSize) {
    bool failed = false;
    readRuns(delimiter, chunkSize, failed);
    return 0;
}

// A gzip or zstd copy, of one member or frame or many, reads as the file.
void checkCompressedCopy(std::string_view file, std::string_view delimiter, std::int64_t chunkSize,
                         std::uint8_t choice) {
    const std::size_t piece = choice % 4 == 0 ? 0 : 1 + choice % 61;
    const std::string copy = choice % 2 == 0 ? testsupport::gzipped(file, 6, piece)
                                             : testsupport::zstdCompressed(file, 3, piece);
    fuzz::ScratchFile::instance().write(copy);
    bool failed = false;
    FUZZ_CHECK(readRuns(delimiter, chunkSize, failed) == file,
               "the compressed copy reads otherwise");
    FUZZ_CHECK(!failed, "the compressed copy fails");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    // Mostly tiny chunks, which cut lines and UTF-8 sequences everywhere.
    const std::int64_t chunkSize =
        data[0] < 192 ? 1 + data[0] % 16 : 1 + ((data[0] << 8 | data[1]) % 8192);
    static constexpr std::string_view kDelimiters[] = {"\n", "\n", "\n", "\r\n", "ab"};
    const std::string_view delimiter = kDelimiters[data[2] % 5];
    const std::string_view file = fuzz::asText(data + 3, size - 3);

    auto& scratch = fuzz::ScratchFile::instance();
    scratch.write(file);
    if (compressionOf(file.substr(0, kCompressionMagicSize)) != Compression::none) {
        return readCompressed(delimiter, chunkSize);
    }
    auto reader = StreamReader::open(scratch.path(), delimiter, chunkSize);
    FUZZ_CHECK(reader, "a regular file must open");

    const std::vector<std::string_view> expected = cut(file, delimiter);
    std::string joined;
    std::size_t count = 0;
    while (auto line = reader->nextLine()) {
        FUZZ_CHECK(count < expected.size(), "more lines than the file holds");
        FUZZ_CHECK(line->text == expected[count], "line %zu differs", count);
        FUZZ_CHECK(line->valid == isValidUtf8(line->text));
        // The promised padding after the line must be readable.
        volatile char sink = 0;
        for (std::size_t i = 0; i < StreamReader::kPadding; ++i) {
            sink = sink + line->text.data()[line->text.size() + i];
        }
        if (count > 0) {
            joined += delimiter;
        }
        joined += line->text;
        ++count;
    }
    FUZZ_CHECK(count == expected.size(), "%zu lines read, %zu in the file", count, expected.size());
    FUZZ_CHECK(joined == file || joined + std::string(delimiter) == file);
    FUZZ_CHECK(reader->atEof());
    FUZZ_CHECK(!reader->nextLine(), "a line after the end");
    reader->close();
    reader->close();

    auto runs = StreamReader::open(scratch.path(), delimiter, chunkSize);
    FUZZ_CHECK(runs, "a regular file must open twice");
    std::string joinedRuns;
    std::vector<std::string_view> runLines;
    std::deque<std::string> runCopies;  // stable: the lines point into them
    bool unterminated = false;
    while (auto run = runs->nextLines()) {
        FUZZ_CHECK(!unterminated, "a run after the last line without a delimiter");
        FUZZ_CHECK(!run->empty(), "an empty run");
        unterminated = !run->ends_with(delimiter);
        volatile char sink = 0;
        for (std::size_t i = 0; i < StreamReader::kPadding; ++i) {
            sink = sink + run->data()[run->size() + i];
        }
        joinedRuns += *run;
        // Each run cut on its own gives the next lines: runs end where lines do.
        for (std::string_view line : cut(runCopies.emplace_back(*run), delimiter)) {
            runLines.push_back(line);
        }
    }
    FUZZ_CHECK(joinedRuns == file, "the runs do not give the file");
    // Read as it comes, in reads of any size, the text is the file.
    auto raw = StreamReader::open(scratch.path(), delimiter, chunkSize);
    FUZZ_CHECK(raw, "a regular file must open three times");
    std::string text;
    char piece[97];
    for (std::size_t n; (n = raw->readText(piece, 1 + text.size() % sizeof piece)) > 0;) {
        text.append(piece, n);
    }
    FUZZ_CHECK(text == file, "the text read as it comes is not the file");
    FUZZ_CHECK(runLines == expected, "runs cut elsewhere than between lines");

    checkCompressedCopy(file, delimiter, chunkSize, data[1]);

    // Repair of invalid text: always valid, and the identity on valid text.
    const std::string repaired = toValidUtf8(file);
    FUZZ_CHECK(isValidUtf8(repaired));
    if (isValidUtf8(file)) {
        FUZZ_CHECK(repaired == file);
    }
    return 0;
}

#include "load/line_reading.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <exception>
#include <optional>
#include <string_view>

#include "ingest/received_json.h"
#include "ingest/stream_reader.h"

namespace korvantis::detail {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t kBatchBytes = DecodePipeline::kBytes;
constexpr std::size_t kBatchLines = std::size_t{1} << 14;

// Line feeds in `bytes`, eight bytes at a time.
std::size_t countLineFeeds(std::string_view bytes) {
    constexpr std::uint64_t kLow7 = 0x7f7f7f7f7f7f7f7full;
    constexpr std::uint64_t kFeeds = 0x0a0a0a0a0a0a0a0aull;
    std::size_t n = 0;
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + i, 8);
        const std::uint64_t x = word ^ kFeeds;  // a zero byte where a line feed was
        // 0x01 in each byte that was a line feed; the multiplication sums the
        // bytes into the top one. (Without a popcount instruction in the
        // baseline x86-64 set, std::popcount is a library call per word.)
        const std::uint64_t ones = ~(((x & kLow7) + kLow7) | x | kLow7) >> 7;
        n += static_cast<std::size_t>((ones * 0x0101010101010101ull) >> 56);
    }
    for (; i < bytes.size(); ++i) {
        n += bytes[i] == '\n';
    }
    return n;
}

// The length of the first `lines` lines of `bytes`, which holds more.
std::size_t lengthOfLines(std::string_view bytes, std::size_t lines) {
    std::size_t at = 0;
    for (; lines > 0; --lines) {
        at = bytes.find('\n', at) + 1;
    }
    return at;
}

}  // namespace

// The decoding threads cut the lines and learn whether they are valid UTF-8
// (the parse of a line checks it). A batch is handed on at kBatchBytes or at
// kBatchLines lines, whichever comes first: a log of blank lines would
// otherwise make a quarter of a million line descriptions per batch.
void readLines(StreamReader& reader, DecodePipeline& pipeline, const std::atomic<bool>& cancelled,
               LineReading& reading) {
    try {
        std::uint64_t& offset = reading.offset;
        std::size_t batchLines = 0;
        DecodePipeline::Batch batch = pipeline.takeEmpty();
        auto handOn = [&] {
            // Padding after the last line, so that every line can be parsed
            // where it lies (the others are followed by the next line).
            batch->linesEnd = batch->text.size();
            batch->text.append(LineDecoder::kPadding, ' ');
            pipeline.pushRead(std::move(batch));
            batchLines = 0;
        };
        while (batch) {
            std::optional<std::string_view> run;
            if (!cancelled.load(std::memory_order_relaxed)) {
                run = reader.nextLines();
            }
            if (!run) {
                if (!batch->text.empty()) {
                    handOn();
                }
                break;
            }
            if (offset == 0 && run->starts_with(kByteOrderMark)) {
                // Only at the very start of the log: the text's encoding,
                // not part of its first line.
                run->remove_prefix(kByteOrderMark.size());
                offset = kByteOrderMark.size();
            }
            for (std::size_t feeds = countLineFeeds(*run); batch && !run->empty();) {
                const std::size_t take = std::min(feeds, kBatchLines - batchLines);
                const std::size_t length = take < feeds ? lengthOfLines(*run, take) : run->size();
                if (batch->text.empty()) {
                    batch->fileOffset = offset;
                }
                batch->text.append(run->substr(0, length));
                offset += length;
                run->remove_prefix(length);
                feeds -= take;
                batchLines += take;
                if (batch->text.size() >= kBatchBytes || batchLines >= kBatchLines ||
                    (reading.live && run->empty())) {
                    handOn();
                    batch = pipeline.takeEmpty();
                }
            }
        }
        pipeline.finishReading();
    } catch (...) {
        pipeline.finishReading(std::current_exception());
    }
}

}  // namespace korvantis::detail

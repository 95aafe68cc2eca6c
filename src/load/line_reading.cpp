#include "load/line_reading.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <optional>
#include <string_view>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "ingest/received_json.h"
#include "ingest/stream_reader.h"

namespace korvantis::detail {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t kBatchBytes = DecodePipeline::kBytes;
constexpr std::size_t kBatchLines = std::size_t{1} << 14;

// Line feeds in `bytes`. Every byte of the log passes here once, so it is
// counted sixteen bytes at a time where the baseline instruction set allows.
std::size_t countLineFeeds(std::string_view bytes) {
    std::size_t n = 0;
    std::size_t i = 0;
#ifdef __SSE2__
    const __m128i feeds = _mm_set1_epi8('\n');
    while (bytes.size() - i >= 16) {
        // Each byte lane counts its matches (a compare gives -1); 255 rounds
        // at most, before a lane could wrap, and the lanes are summed.
        const std::size_t rounds = std::min<std::size_t>((bytes.size() - i) / 16, 255);
        __m128i lanes = _mm_setzero_si128();
        for (std::size_t r = 0; r < rounds; ++r, i += 16) {
            const __m128i chunk =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + i));
            lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(chunk, feeds));
        }
        const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
        n += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
             static_cast<std::size_t>(_mm_extract_epi16(sums, 4));
    }
#endif
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

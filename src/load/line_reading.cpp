#include "load/line_reading.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
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

// Reads a log straight into batches. A batch is handed on with its whole
// lines at kBatchBytes or at kBatchLines lines, whichever comes first (a log
// of blank lines would otherwise make a million line descriptions per
// batch); what follows its last line feed starts the next batch. The
// decoding threads cut the lines and learn whether they are valid UTF-8
// (the parse of a line checks it).
class BatchFiller {
  public:
    BatchFiller(StreamReader& reader, DecodePipeline& pipeline, LineReading& reading)
        : reader_(reader), pipeline_(pipeline), reading_(reading) {}

    void run(const std::atomic<bool>& cancelled) {
        startBatch(reading_.offset);
        while (batch_) {
            const std::size_t size = batch_->text.size();
            if (feeds_ >= kBatchLines || (feeds_ > 0 && (size >= kBatchBytes || reading_.live))) {
                handOn(feeds_ > kBatchLines ? lengthOfLines(batch_->text, kBatchLines)
                                            : wholeLinesEnd());
                continue;
            }
            if (cancelled.load(std::memory_order_relaxed)) {
                push(wholeLinesEnd());  // a line cut short is not read
                return;
            }
            const std::size_t want = std::max(kBatchBytes - std::min(size, kBatchBytes), kLeast);
            const std::size_t got = reader_.readText(batch_->text.extend(want), want);
            batch_->text.truncate(size + got);
            if (got == 0) {
                // A last line without a line feed counts, unless more of it
                // may still come or decompressing stopped inside it.
                const bool cutShort = reader_.holdsPartialLine() || reader_.failure();
                push(cutShort ? wholeLinesEnd() : size);
                return;
            }
            feeds_ += countLineFeeds(std::string_view(batch_->text).substr(size));
        }
    }

  private:
    static constexpr std::size_t kLeast = std::size_t{64} << 10;  // bytes a read asks for

    void startBatch(std::uint64_t fileOffset) {
        batch_ = pipeline_.takeEmpty();
        if (batch_) {
            batch_->fileOffset = fileOffset;
        }
        feeds_ = 0;
    }

    // The end of the batch's last whole line; 0 when it holds none.
    std::size_t wholeLinesEnd() const {
        const void* last = ::memrchr(batch_->text.data(), '\n', batch_->text.size());
        return last == nullptr ? 0 : static_cast<const char*>(last) - batch_->text.data() + 1;
    }

    // Hands on the lines before `end`; the bytes after it start the next batch.
    void handOn(std::size_t end) {
        const std::string_view rest = std::string_view(batch_->text).substr(end);
        carried_.assign(rest);
        const std::size_t restFeeds = countLineFeeds(rest);
        const std::uint64_t restOffset = batch_->fileOffset + end;
        push(end);
        startBatch(restOffset);
        if (batch_) {
            batch_->text.append(carried_);
            feeds_ = restFeeds;
        }
    }

    // Hands on the first `end` bytes of the batch, which are whole lines (or
    // the log's last line).
    void push(std::size_t end) {
        BatchText& text = batch_->text;
        text.truncate(end);
        if (batch_->fileOffset == 0 && std::string_view(text).starts_with(kByteOrderMark)) {
            // Only at the very start of the log: the text's encoding, not
            // part of its first line.
            std::memmove(text.data(), text.data() + kByteOrderMark.size(),
                         end - kByteOrderMark.size());
            text.truncate(end - kByteOrderMark.size());
            batch_->fileOffset = kByteOrderMark.size();
        }
        reading_.offset = batch_->fileOffset + text.size();
        if (text.empty()) {
            return;
        }
        // Padding after the last line, so that every line can be parsed
        // where it lies (the others are followed by the next line).
        batch_->linesEnd = text.size();
        text.append(LineDecoder::kPadding, ' ');
        pipeline_.pushRead(std::move(batch_));
    }

    StreamReader& reader_;
    DecodePipeline& pipeline_;
    LineReading& reading_;
    DecodePipeline::Batch batch_;
    std::size_t feeds_ = 0;  // line feeds in the batch
    std::string carried_;
};

}  // namespace

void readLines(StreamReader& reader, DecodePipeline& pipeline, const std::atomic<bool>& cancelled,
               LineReading& reading) {
    try {
        BatchFiller(reader, pipeline, reading).run(cancelled);
        pipeline.finishReading();
    } catch (...) {
        pipeline.finishReading(std::current_exception());
    }
}

}  // namespace korvantis::detail

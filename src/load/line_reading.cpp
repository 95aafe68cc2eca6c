#include "load/line_reading.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "decode/line_decoder.h"
#include "input/stream_reader.h"

namespace korvantis::detail {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t kBatchBytes = DecodePipeline::kBytes;
constexpr std::size_t kBatchLines = std::size_t{1} << 14;

// Appends the places of the line feeds in `bytes`, counted from `base`, and
// stops soon after `out` holds more than a batch's lines: a log of blank
// lines must not list a million places for a batch that takes 16,384. Every
// byte of the log passes here once, so it is looked at 64 bytes at a time
// where the baseline instruction set allows.
void findLineFeeds(std::string_view bytes, std::size_t base, std::vector<std::size_t>& out) {
    const char* const data = bytes.data();
    std::size_t i = 0;
#ifdef __SSE2__
    const __m128i feeds = _mm_set1_epi8('\n');
    auto feedsAt = [&](std::size_t at) {
        return _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at)), feeds);
    };
    auto bits = [](__m128i found) -> std::uint64_t {
        return static_cast<std::uint16_t>(_mm_movemask_epi8(found));
    };
    for (; bytes.size() - i >= 64 && out.size() <= kBatchLines; i += 64) {
        const __m128i a = feedsAt(i), b = feedsAt(i + 16), c = feedsAt(i + 32), d = feedsAt(i + 48);
        // Most runs of 64 bytes hold no line feed at all.
        if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d))) == 0) {
            continue;
        }
        for (std::uint64_t mask = bits(a) | bits(b) << 16 | bits(c) << 32 | bits(d) << 48;
             mask != 0; mask &= mask - 1) {
            out.push_back(base + i + static_cast<std::size_t>(std::countr_zero(mask)));
        }
    }
#endif
    for (; i < bytes.size() && out.size() <= kBatchLines; ++i) {
        if (data[i] == '\n') {
            out.push_back(base + i);
        }
    }
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
            const std::size_t feeds = batch_->lineFeeds.size();
            // A line too long to keep whose line feed came with the read
            // that took it past the bound (the lines before it have gone
            // on: the batch was over kBatchBytes).
            if (feeds > 0 && batch_->lineFeeds[0] > kLongestLine) {
                skipWholeLine();
                continue;
            }
            if (feeds >= kBatchLines || (feeds > 0 && (size >= kBatchBytes || reading_.live))) {
                handOn(feeds > kBatchLines ? batch_->lineFeeds[kBatchLines - 1] + 1
                                           : wholeLinesEnd());
                continue;
            }
            if (cancelled.load(std::memory_order_relaxed)) {
                push(wholeLinesEnd());  // a line cut short is not read
                return;
            }
            // The whole lines before a line too long to keep have gone on
            // (the batch is far over kBatchBytes): the batch holds its start.
            if (feeds == 0 && size > kLongestLine) {
                if (!skipLongLine(cancelled)) {
                    return;
                }
                continue;
            }
            const std::size_t want = std::max(kBatchBytes - std::min(size, kBatchBytes), kLeast);
            const std::size_t got = reader_.readText(batch_->text.extend(want), want);
            batch_->text.truncate(size + got);
            if (got == 0) {
                // A last line without a line feed counts, unless more of it
                // may still come or decompressing stopped inside it.
                const bool cutShort = reader_.holdsPartialLine() || reader_.failure();
                if (!cutShort && feeds == 0 && size > kLongestLine) {
                    batch_->text = BatchText();
                    pushSkipped(batch_->fileOffset, size, size);
                    return;
                }
                push(cutShort ? wholeLinesEnd() : size);
                return;
            }
            findLineFeeds(std::string_view(batch_->text).substr(size), size, batch_->lineFeeds);
        }
    }

  private:
    static constexpr std::size_t kLeast = std::size_t{64} << 10;  // bytes a read asks for

    // Reads past the line the batch holds the start of, which is too long
    // to keep, to its line feed, holding none of it, and hands on a batch
    // that stands for it; the bytes after it start the next batch. False
    // at the end of the input, or when cancelled.
    bool skipLongLine(const std::atomic<bool>& cancelled) {
        const std::uint64_t start = batch_->fileOffset;
        std::uint64_t length = batch_->text.size();
        batch_->text = BatchText();  // its room goes too
        std::vector<char> chunk(kLeast);
        for (;;) {
            if (cancelled.load(std::memory_order_relaxed)) {
                return false;  // not read to its end: not counted
            }
            const std::size_t got = reader_.readText(chunk.data(), chunk.size());
            if (got == 0) {
                // The log's last line; one that may go on, or that
                // decompressing stopped inside, is not read.
                if (!reader_.holdsPartialLine() && !reader_.failure()) {
                    pushSkipped(start, length, length);
                }
                return false;
            }
            const void* feed = std::memchr(chunk.data(), '\n', got);
            if (feed == nullptr) {
                length += got;
                continue;
            }
            const auto within =
                static_cast<std::size_t>(static_cast<const char*>(feed) - chunk.data());
            length += within;
            pushSkipped(start, length, length + 1);
            startBatch(start + length + 1);
            if (batch_) {
                const std::string_view rest(chunk.data() + within + 1, got - within - 1);
                batch_->text.append(rest);
                findLineFeeds(rest, 0, batch_->lineFeeds);
            }
            return true;
        }
    }

    // Hands on the batch's first line, which is too long to keep, as a
    // skipped line; the bytes after it start the next batch.
    void skipWholeLine() {
        const std::uint64_t start = batch_->fileOffset;
        const std::size_t length = batch_->lineFeeds[0];
        carried_.assign(std::string_view(batch_->text).substr(length + 1));
        batch_->text = BatchText();
        pushSkipped(start, length, length + 1);
        startBatch(start + length + 1);
        if (batch_) {
            batch_->text.append(carried_);
            findLineFeeds(carried_, 0, batch_->lineFeeds);
        }
    }

    // Hands on the batch as one skipped line of `length` bytes at `start`,
    // `consumed` bytes with its line feed.
    void pushSkipped(std::uint64_t start, std::uint64_t length, std::uint64_t consumed) {
        batch_->fileOffset = start;
        batch_->skipped = length;
        batch_->lineFeeds.clear();
        batch_->linesEnd = 0;
        reading_.offset = start + consumed;
        pipeline_.pushRead(std::move(batch_));
    }

    void startBatch(std::uint64_t fileOffset) {
        batch_ = pipeline_.takeEmpty();
        if (batch_) {
            batch_->fileOffset = fileOffset;
        }
    }

    // The end of the batch's last whole line; 0 when it holds none. (Every
    // line feed is listed while the batch holds no more lines than it
    // takes.)
    std::size_t wholeLinesEnd() const {
        return batch_->lineFeeds.empty() ? 0 : batch_->lineFeeds.back() + 1;
    }

    // Hands on the lines before `end`; the bytes after it start the next batch.
    void handOn(std::size_t end) {
        const std::string_view rest = std::string_view(batch_->text).substr(end);
        carried_.assign(rest);
        const std::uint64_t restOffset = batch_->fileOffset + end;
        push(end);
        startBatch(restOffset);
        if (batch_) {
            batch_->text.append(carried_);
            // Mostly the start of a line: little to look at again.
            findLineFeeds(carried_, 0, batch_->lineFeeds);
        }
    }

    // Hands on the first `end` bytes of the batch, which are whole lines (or
    // the log's last line).
    void push(std::size_t end) {
        BatchText& text = batch_->text;
        text.truncate(end);
        std::vector<std::size_t>& feeds = batch_->lineFeeds;
        feeds.erase(std::lower_bound(feeds.begin(), feeds.end(), end), feeds.end());
        if (batch_->fileOffset == 0 && std::string_view(text).starts_with(kByteOrderMark)) {
            // Only at the very start of the log: the text's encoding, not
            // part of its first line.
            std::memmove(text.data(), text.data() + kByteOrderMark.size(),
                         end - kByteOrderMark.size());
            text.truncate(end - kByteOrderMark.size());
            batch_->fileOffset = kByteOrderMark.size();
            for (std::size_t& feed : feeds) {
                feed -= kByteOrderMark.size();
            }
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

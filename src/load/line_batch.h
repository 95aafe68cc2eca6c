#pragma once

// A load's hand-over format: runs of whole lines from its reading thread,
// cut and decoded by its decoding threads and described compactly, so that its
// filing thread only has to file them.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "decode/event_kinds.h"
#include "decode/line_decoder.h"
#include "decode/time_value.h"
#include "load/batch_text.h"
#include "rules/event_fields.h"
#include "store/filed_rows.h"

namespace korvantis::detail {

enum class LineKind : std::uint8_t {
    invalidUtf8,      // its error is the line, made valid when shown
    refused,          // error text is the line itself
    process,          // process event with a process
    file,             // monitored file event with a file
    fileWithoutFile,  // error text ("Could not build file event from ...") in `side`
    storedOnly,       // decoded, kept in lineRefs only: makes no row
    otherRow,         // another kind of eslogger message, listed as an other row
    tooLong,          // longer than kLongestLine: skipped unread (LineBatch::skipped)
};

// The longest line a row keeps. A longer one is skipped as it is read, its
// bytes not held: a line of gigabytes would otherwise be held whole, and
// parsed, in memory.
inline constexpr std::uint64_t kLongestLine = std::uint64_t{256} << 20;

// A decoded text, held in the batch's `side` text.
struct TextRef {
    std::size_t offset = 0;
    std::size_t length = 0;
};

struct LineInfo {
    std::uint64_t fileOffset = 0;  // of the line in its log
    std::uint64_t checksum = 0;    // of its bytes
    std::size_t offset = 0;        // of the line in LineBatch::text
    std::size_t length = 0;
    LineKind kind = LineKind::refused;
    EventKind event = 0;
    std::int64_t pid = 0;
    std::int64_t ppid = 0;
    TextRef timestamp;
    TextRef path;                       // process path, or file destination
    TextRef error;                      // for fileWithoutFile
    TextRef facts;                      // encoded; empty when all are (rows only)
    TextRef type;                       // other rows: the type's name
    std::int64_t sequence = -1;         // eslogger's message number, -1 when none
    std::string_view storedType;        // `type` where the store keeps it (other rows)
    std::string_view storedPath;        // `path` where the store keeps it (rows only)
    const char* storedFacts = nullptr;  // `facts` where the store keeps them
    RowTextOrdinals ordinals;           // of the three stored texts
    // The time value of `timestamp` (rows only).
    TimeValue time = kNoTimeValue;
    // Its line in LineBatch::rules, when rules are loaded (rows only).
    std::uint32_t ruleLine = kNoRuleLine;
    static constexpr std::uint32_t kNoRuleLine = UINT32_MAX;
};

struct LineBatch {
    std::uint64_t sequence = 0;    // place among the batches of a load
    std::uint64_t fileOffset = 0;  // where text[0] lies in the log
    BatchText text;                // whole lines with their line feeds, then parser padding
    std::size_t linesEnd = 0;      // where the padding starts
    // The places of the line feeds in text[0, linesEnd), found as the text
    // was read: the decoding threads need not look for them again.
    std::vector<std::size_t> lineFeeds;
    std::string side;  // decoded texts and error texts
    std::vector<LineInfo> lines;
    // Not 0: the batch stands for one line of this many bytes (more than
    // kLongestLine) at fileOffset, which it does not hold.
    std::uint64_t skipped = 0;
    RuleLines rules;  // what detection rules see and found, when there are rules

    // Fills `lines` with the places of the lines in text[0, linesEnd): each
    // ends at a line feed, the log's last one perhaps at linesEnd.
    void cutLines();

    void clear() {
        skipped = 0;
        linesEnd = 0;
        text.clear();
        lineFeeds.clear();
        side.clear();
        lines.clear();
        rules.clear();
    }
    std::string_view lineText(const LineInfo& info) const {
        return std::string_view(text.data() + info.offset, info.length);
    }
    std::string_view resolve(const TextRef& ref) const {
        return std::string_view(side).substr(ref.offset, ref.length);
    }
};

// Fills in `info`, a line of `batch` whose bytes are valid UTF-8, from its
// decoding result; decoded texts go to the batch's side text.
void describeRecord(const std::optional<ReceivedJsonView>& record, LineInfo& info,
                    LineBatch& batch);
// Gives a row's `info` the time value of its timestamp, once, on the
// decoding thread: sorting and time filters then compare numbers.
void describeTime(LineInfo& info, const LineBatch& batch);
// Fills in `info`, a line whose bytes are not valid UTF-8.
void describeInvalid(LineInfo& info);

}  // namespace korvantis::detail

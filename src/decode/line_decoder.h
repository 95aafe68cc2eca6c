#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "decode/row_facts.h"

namespace simdjson::dom {
class element;
}

namespace korvantis {

// The decoded form of one log line, filled by LineDecoder without allocating.
// Every view points into the decoder's own buffers and is valid until the
// next decode.
struct ProcessView {
    std::int64_t pid = 0;
    std::int64_t ppid = 0;
    std::optional<std::string_view> path;
};

struct FileOldView {
    std::optional<ProcessView> process;
    std::string_view destination;
};

struct FileView {
    std::int64_t pid = 0;
    std::string_view destination;
};

struct ReceivedJsonView {
    std::string_view event;
    std::string_view timestamp;
    std::optional<ProcessView> process;
    std::optional<FileOldView> fileOld;
    std::optional<FileView> file;
    // Kept for its raw text only, whatever `event` says: an eslogger message
    // of a kind that no panel lists.
    bool storedOnly = false;
    std::string_view facts;  // encoded (see RowFacts); empty for the viewer's records
    // A stored-only eslogger message whose process gives a pid and a ppid:
    // that process, listed as an other row.
    std::optional<ProcessView> other{};
};

// Decodes lines one at a time with a reused parser, so a load of millions of
// lines does not allocate per line. A line the record rules refuse is tried
// as an eslogger message (EsloggerRecordReader) before it is refused.
class LineDecoder {
  public:
    // Bytes that must be readable after the end of a line given to decodePadded().
    static constexpr std::size_t kPadding = 64;

    LineDecoder();
    ~LineDecoder();
    LineDecoder(const LineDecoder&) = delete;
    LineDecoder& operator=(const LineDecoder&) = delete;

    // Decodes one line (without its delimiter); nullopt when the line is refused.
    std::optional<ReceivedJsonView> decode(std::string_view line);
    // Same, without copying: data[len .. len + kPadding) must be readable memory.
    std::optional<ReceivedJsonView> decodePadded(const char* data, std::size_t len);
    // The last decoded line's eslogger message number (global_seq_num), when
    // it has the eslogger shape and a non-negative integer number, whether
    // or not the line was refused; -1 otherwise.
    std::int64_t sequenceNumber() const;
    // The last decoded line's parsed JSON, valid until the next decode;
    // nullptr when it did not parse.
    const simdjson::dom::element* document() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// One-line text form of a record, as used in the
// "Could not build file event from " load error.
std::string recordText(const ReceivedJsonView& record);

}  // namespace korvantis

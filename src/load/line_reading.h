#pragma once

#include <atomic>
#include <cstdint>

#include "load/decode_pipeline.h"

namespace korvantis {
class StreamReader;
}

namespace korvantis::detail {

// Where the reading thread of a load starts and how it hands lines on.
struct LineReading {
    // The offset in the log's text of the reader's first byte; after the
    // reading, the offset just after the last line handed on.
    std::uint64_t offset = 0;
    // Lines that come slowly (a pipe) are handed on as they come instead of
    // waiting for a full batch.
    bool live = false;
};

// The reading thread: reads the log in runs of whole lines and hands them on
// in batches until the end or a cancel.
void readLines(StreamReader& reader, DecodePipeline& pipeline, const std::atomic<bool>& cancelled,
               LineReading& reading);

}  // namespace korvantis::detail

#pragma once

// What the loader's worker hands to the owner thread: lines already turned
// into rows, so that the store only has to append them.

#include <cstdint>
#include <string>
#include <vector>

#include "store/line_ref.h"
#include "store/preview_entries.h"
#include "store/sequence_gap.h"
#include "store/uuid.h"

namespace korvantis {

// Where a load error came from: the log and the line's number in it (from 1).
struct LoadErrorOrigin {
    std::uint32_t log = 0;
    std::uint64_t line = 0;
    // For an error of no line of a loaded log (a log that could not be opened).
    static constexpr std::uint32_t kNoLog = 0xffffffffu;
};

struct FiledRows {
    // One per stored (decoded) line, in file order; its id follows from its
    // place among the store's lines.
    struct StoredLine {
        LineRef ref;
        enum class Kind : std::uint8_t { process, file, other, otherRow } kind = Kind::other;
        std::uint8_t type = 0;  // for rows: index into the known event names
    };
    std::vector<StoredLine> lines;
    std::vector<ProcPreviewEntry> procPreviews;
    std::vector<FilePreviewEntry> filePreviews;
    std::vector<OtherPreviewEntry> otherPreviews;
    std::vector<SequenceGap> sequenceGaps;  // found in these lines, in file order
    std::vector<std::string> loadErrors;
    std::vector<LoadErrorOrigin> loadErrorOrigins;

    bool empty() const { return lines.empty() && loadErrors.empty() && sequenceGaps.empty(); }
    void clear() {
        lines.clear();
        procPreviews.clear();
        filePreviews.clear();
        otherPreviews.clear();
        sequenceGaps.clear();
        loadErrors.clear();
        loadErrorOrigins.clear();
    }
};

}  // namespace korvantis

#pragma once

// What the loader's worker hands to the owner thread: lines already turned
// into rows, so that the store only has to append them.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/interned_texts.h"
#include "store/line_ref.h"
#include "store/load_errors.h"
#include "store/mapped_rows.h"
#include "store/row_kind.h"
#include "store/row_view.h"
#include "store/sequence_gap.h"

namespace korvantis {

// The numbers the store's texts gave a row's texts when they kept them (see
// InternedTexts::ordinalOf; kNone: empty, or none): what an index of the
// load tells the texts apart by without looking them up.
struct RowTextOrdinals {
    static constexpr std::uint32_t kNone = InternedTexts::kNoOrdinal;
    std::uint32_t path = kNone;
    std::uint32_t facts = kNone;
    std::uint32_t type = kNone;  // other rows' type names
};

struct FiledRows {
    // One per stored (decoded) line, in file order.
    struct StoredLine {
        LineRef ref;
        std::optional<RowKind> row;  // the list of the row it makes, if it makes one
        std::uint8_t type = 0;       // for rows: index into the known event names
    };
    std::vector<StoredLine> lines;
    // The rows of the lines that make one, per kind in file order.
    PerKind<std::vector<RowView>> rows;
    // Beside `rows`, one a row, when their maker had them at hand (else
    // none).
    PerKind<std::vector<RowTextOrdinals>> ordinals;
    std::vector<SequenceGap> sequenceGaps;  // found in these lines, in file order
    // A load error: a line of the log (by reference), or a message whose
    // text follows the messages before it in `errorMessages`.
    struct Error {
        LoadErrorOrigin origin;
        LineRef line;
        std::size_t messageLength = 0;
        bool isLine = true;
        // A message that stands for its line, which is not kept.
        bool standsForLine = false;
    };
    std::vector<Error> errors;
    std::string errorMessages;
    // The number (from 1) of the log's line the batch begins at: where a
    // load stops when the batch cannot be filed.
    std::uint64_t firstLine = 1;
    // Lines and rows read in place, before `lines`: only in the first batch
    // of a store that has no lines yet.
    std::shared_ptr<const MappedRows> mapped;
    // The first lines of a log, shown while their index is checked: the
    // first batch with `mapped` rows that come after them only takes their
    // place (its mapped lines begin with them), and any other batch goes on
    // after them.
    bool preview = false;

    bool empty() const {
        return lines.empty() && errors.empty() && sequenceGaps.empty() && !mapped;
    }
    void clear() {
        lines.clear();
        for (std::vector<RowView>& list : rows) {
            list.clear();
        }
        for (std::vector<RowTextOrdinals>& list : ordinals) {
            list.clear();
        }
        sequenceGaps.clear();
        errors.clear();
        errorMessages.clear();
        mapped.reset();
        preview = false;
    }
};

}  // namespace korvantis

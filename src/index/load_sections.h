#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "index/index_file.h"
#include "index/index_writer.h"
#include "store/load_errors.h"
#include "store/sequence_gap.h"

namespace korvantis {

class EventStore;

// What a load derived that is cheap to keep as it is: the jumps in
// eslogger's message numbers and the load errors (lines by reference, not
// by text), written from the store's reading interface.
void writeLoadSections(IndexWriter& writer, const EventStore& store);

// One load error as an index keeps it; its texts point into the index.
struct SavedLoadError {
    LoadErrors::Entry entry;   // `message` is unused: the text is below
    std::string_view message;  // for a message
    std::string_view name;     // the origin's name, for a file not among the logs
};

struct LoadSections {
    std::vector<SequenceGap> sequenceGaps;
    std::vector<SavedLoadError> loadErrors;  // the listed ones, in order
    std::uint64_t foldedLoadErrors = 0;
};

// The sections of `file` back; nothing when one is missing or does not
// hold what it should (a count past its end, a text outside its section),
// and then `*whyNot` names the section.
std::optional<LoadSections> readLoadSections(const IndexFile& file, std::string* whyNot = nullptr);

}  // namespace korvantis

#pragma once

#include <cstdint>
#include <string_view>

#include "ingest/time_value.h"
#include "store/uuid.h"

namespace korvantis {

struct RuleHitSet;

// Preview entries are plain values, copied freely. Their texts are views into
// text owned by the EventStore they belong to and stay valid for as long as
// that store lives (a store never drops what it loaded).
struct ProcPreviewEntry {
    Uuid id;
    std::string_view type;
    std::string_view timestamp;
    std::int64_t pid = 0;
    std::int64_t ppid = 0;
    std::string_view path;
    const char* facts = nullptr;           // encoded (see RowFacts); nullptr when all are empty
    TimeValue time = kNoTimeValue;         // of `timestamp`
    const RuleHitSet* ruleHits = nullptr;  // the detection rules it matches, if any
    bool operator==(const ProcPreviewEntry&) const = default;
};

struct FilePreviewEntry {
    Uuid id;
    std::string_view type;
    std::string_view timestamp;
    std::int64_t pid = 0;
    std::string_view path;
    const char* facts = nullptr;           // encoded (see RowFacts); nullptr when all are empty
    TimeValue time = kNoTimeValue;         // of `timestamp`
    const RuleHitSet* ruleHits = nullptr;  // the detection rules it matches, if any
    bool operator==(const FilePreviewEntry&) const = default;
};

// A message of another kind than the process and file events, listed with
// the process that sent it. `type` is the store's copy of its name.
struct OtherPreviewEntry {
    Uuid id;
    std::string_view type;
    std::string_view timestamp;
    std::int64_t pid = 0;
    std::int64_t ppid = 0;
    std::string_view path;
    const char* facts = nullptr;           // encoded (see RowFacts); nullptr when all are empty
    TimeValue time = kNoTimeValue;         // of `timestamp`
    const RuleHitSet* ruleHits = nullptr;  // the detection rules it matches, if any
    bool operator==(const OtherPreviewEntry&) const = default;
};

}  // namespace korvantis

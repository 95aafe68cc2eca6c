#pragma once

#include <cstdint>
#include <string_view>

#include "ingest/row_facts.h"
#include "ingest/time_value.h"

namespace korvantis {

struct RuleHitSet;

// One row's fields as texts and numbers, whatever store the row lives in:
// what a filter matches, an export writes and the facts card shows. The
// views must stay valid while the row is read.
struct RowView {
    bool isProcess = false;
    std::string_view type;
    std::string_view timestamp;
    std::string_view path;
    std::int64_t pid = 0;
    std::int64_t ppid = 0;  // read for process and other rows only
    RowFacts facts;         // all empty for the viewer's own records
    bool isOther = false;   // an other row (isProcess false): its ppid is read too
    // The time value of `timestamp`, parsed when the row was loaded.
    TimeValue time = kNoTimeValue;
    // How a process row's run ended (see process_outcome.h); filled by
    // readers that know the store's runs, empty otherwise.
    std::string_view outcome = {};
    // The detection rules it matches; nullptr when none.
    const RuleHitSet* ruleHits = nullptr;
    // The row's mark, when one applies to its line: its tags sorted and
    // joined by commas, and its note. Empty for a row without one.
    std::string_view tags = {};
    std::string_view note = {};
};

}  // namespace korvantis

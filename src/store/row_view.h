#pragma once

#include <cstdint>
#include <string_view>

#include "decode/row_facts.h"
#include "decode/time_value.h"
#include "store/row_kind.h"

namespace korvantis {

struct RuleHitSet;

// The parts of a row a reader may ask for alone: one that needs a few fields
// spares reading the others where each is a read of its own (rows read in
// place from an index). Kind, rule hits and marks always come.
using RowParts = std::uint8_t;
struct RowPart {
    static constexpr RowParts type = 1;
    static constexpr RowParts timestamp = 2;
    static constexpr RowParts path = 4;
    static constexpr RowParts numbers = 8;  // pid, ppid and the time value
    static constexpr RowParts facts = 16;
    static constexpr RowParts outcome = 32;
    static constexpr RowParts whole = 63;
};

// One row's fields as texts and numbers, whatever list or store the row lives
// in: what a filter matches, an export writes, a list paints and the facts
// card shows. A plain value, copied freely; its texts are views into text
// owned by the store the row belongs to, valid while that store lives (a
// store never drops what it loaded).
struct RowView {
    RowKind kind = RowKind::process;
    std::string_view type;
    std::string_view timestamp;
    std::string_view path;
    std::int64_t pid = 0;
    std::int64_t ppid = 0;  // file rows have none (see hasPpid)
    RowFacts facts;         // all empty for the viewer's own records
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

    // File events carry no parent id.
    bool hasPpid() const { return kind != RowKind::file; }
    bool operator==(const RowView& o) const {
        return kind == o.kind && type == o.type && timestamp == o.timestamp && path == o.path &&
               pid == o.pid && ppid == o.ppid && facts.encoded() == o.facts.encoded() &&
               time == o.time && outcome == o.outcome && ruleHits == o.ruleHits && tags == o.tags &&
               note == o.note;
    }
};

}  // namespace korvantis

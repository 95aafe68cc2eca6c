#pragma once

#include <atomic>
#include <memory>
#include <optional>

#include "store/event_store.h"
#include "store/line_ref_table.h"
#include "store/log_files.h"
#include "store/preview_rows.h"
#include "store/row_kind.h"

namespace korvantis {

class RuleSet;

// The rows of a store as they are at one moment, for applying other
// detection rules to them on a worker thread. Taken on the store's thread;
// the store must outlive it.
struct RuleRescanRows {
    PerKind<PreviewRows::Snapshot> rows;
    LineRefTable::RefsSnapshot refs;
    std::shared_ptr<const LogFiles> logs;

    static RuleRescanRows of(const EventStore& store);
};

// How a rescan shares out its rows: runs of this many rows in the order of
// their places, worked on by this many threads (0: as many as a load
// decodes on).
struct RescanShape {
    std::size_t rowsPerRun = 4096;
    unsigned threads = 0;
};

// The hits `rules` give the rows of `rows`, worked out as a load does:
// each row's line is read back from its log and decoded, the lineage of
// each log taken in the order of the rows' places from its first row on. A
// line that cannot be read back any more has no hits and tells nothing.
// The lines of rows no rule tests are only read for what they tell of
// lineage, and not at all when no rule asks for it. Hit sets are interned
// in `sets` (the store's). Nothing when `stop` was set before the end. Any
// thread.
std::optional<EventStore::ReplacedHits> rescanRuleHits(const RuleRescanRows& rows,
                                                       const RuleSet& rules, RuleHitSets& sets,
                                                       const std::atomic<bool>& stop,
                                                       const RescanShape& shape = {});

}  // namespace korvantis

#pragma once

// The two halves of testing detection rules on a log's rows, shared by a
// load and by applying other rules to rows already loaded: on a decoding
// thread while the message is still parsed, then in the rows' order, where
// the lineage of each row is known.

#include <cstdint>
#include <vector>

#include "decode/line_decoder.h"
#include "load/line_batch.h"
#include "rules/lineage.h"
#include "rules/rule_event.h"
#include "store/row_view.h"

namespace korvantis {

class RuleSet;
class RuleHitSets;
struct RuleHitSet;

namespace detail {

// What rules see of row line `info` just decoded into `record` by `decoder`,
// and what the rules that need no lineage find. `event` is scratch.
void readRowRules(LineInfo& info, const ReceivedJsonView& record, const LineDecoder& decoder,
                  LineBatch& batch, const RuleSet& rules, RuleEvent& event);

// The same for a row already loaded whose line `info` was read again: the
// row holds what the load decoded, so only the message is parsed again
// (`message`, or `onDemand` when read; neither for the viewer's own
// records).
void readStoredRowRules(LineInfo& info, const RowView& stored,
                        const simdjson::dom::element* message, MessageOnDemand* onDemand,
                        LineBatch& batch, const RuleSet& rules, RuleEvent& event);

}  // namespace detail

// The rules row lines match, taken in the order of the rows through one log.
class RowRuleHits {
  public:
    // `lineage`: what the log's lines told so far.
    RowRuleHits(const RuleSet& rules, Lineage& lineage);
    // The rules row line `info` (read by readRowRules) matches, interned in
    // `sets`; notes what the line tells of lineage.
    const RuleHitSet* of(const detail::LineBatch& batch, const detail::LineInfo& info,
                         RuleHitSets& sets);

  private:
    const RuleSet& rules_;
    Lineage& lineage_;
    bool lineageWanted_ = false;
    bool commandLinesWanted_ = false;
    RuleEvent event_;
    std::vector<std::uint32_t> hits_;
};

}  // namespace korvantis

#include "load/row_rule_hits.h"

#include <algorithm>

#include "decode/event_kinds.h"
#include "decode/row_facts.h"
#include "rules/rule_hit_sets.h"
#include "rules/rule_set.h"

namespace korvantis {

namespace {

constexpr std::size_t kAhead = 8;  // rows

void prefetch(const void* place) {
    if (place != nullptr) {
        __builtin_prefetch(place);
    }
}

}  // namespace

namespace detail {

void readRowRules(LineInfo& info, const ReceivedJsonView& record, const LineDecoder& decoder,
                  LineBatch& batch, const RuleSet& rules, RuleEvent& event) {
    DecodedRow row;
    row.isProcess = info.kind == LineKind::process;
    row.isOther = info.kind == LineKind::otherRow;
    row.kind = row.isOther ? -1 : info.event;
    row.path = batch.resolve(info.path);
    row.pid = info.pid;
    row.ppid = info.ppid;
    if (info.facts.length != 0) {
        row.facts = RowFacts(batch.resolve(info.facts).data());
    }
    row.rawLine = batch.lineText(info);
    // An eslogger message always has facts; the viewer's own records none.
    row.message = record.facts.empty() ? nullptr : decoder.document();
    info.ruleLine = static_cast<std::uint32_t>(batch.rules.lines.size());
    readRuleLine(row, rules, batch.rules, event);
}

void readStoredRowRules(LineInfo& info, const RowView& stored,
                        const simdjson::dom::element* message, MessageOnDemand* onDemand,
                        LineBatch& batch, const RuleSet& rules, RuleEvent& event) {
    DecodedRow row;
    row.isProcess = stored.kind == RowKind::process;
    row.isOther = stored.kind == RowKind::other;
    row.kind = row.isOther ? -1 : eventKindNamed(stored.type);
    row.path = stored.path;
    row.pid = stored.pid;
    row.ppid = stored.ppid;
    row.facts = stored.facts;
    row.rawLine = batch.lineText(info);
    row.message = message;
    row.onDemand = onDemand;
    info.ruleLine = static_cast<std::uint32_t>(batch.rules.lines.size());
    readRuleLine(row, rules, batch.rules, event);
}

}  // namespace detail

RowRuleHits::RowRuleHits(const RuleSet& rules, Lineage& lineage)
    : rules_(rules),
      lineage_(lineage),
      lineageWanted_(rules.anyLineage()),
      commandLinesWanted_(rules.readsParentCommandLine()) {}

const RuleHitSet* RowRuleHits::of(const detail::LineBatch& batch, const detail::LineInfo& info,
                                  RuleHitSets& sets) {
    if (info.ruleLine == detail::LineInfo::kNoRuleLine) {
        return nullptr;
    }
    const RuleLine& line = batch.rules.lines[info.ruleLine];
    if (lineageWanted_ && info.ruleLine + kAhead < batch.rules.lines.size()) {
        // Pids come at random among those alive: each is a cache miss
        // unless asked for some rows ahead.
        const RuleLine& ahead = batch.rules.lines[info.ruleLine + kAhead];
        for (std::uint8_t t = 0; t < ahead.tells; ++t) {
            prefetch(lineage_.placeOf(ahead.tellPid[t]));
        }
        if (ahead.deferredCount != 0) {
            prefetch(lineage_.placeOf(ahead.ppid));
        }
    }
    hits_.assign(batch.rules.hits.begin() + line.hitsBegin,
                 batch.rules.hits.begin() + line.hitsBegin + line.hitsCount);
    if (lineageWanted_) {
        if (line.deferredCount != 0) {
            // The parent as the lines before this one tell it.
            ruleEventOf(line, batch.rules, batch.lineText(info), event_);
            if (line.category == RuleCategory::processCreation) {
                event_.set(RuleField::ParentImage, lineage_.image(line.ppid));
                event_.set(RuleField::ParentCommandLine, lineage_.commandLine(line.ppid));
            }
            const std::size_t local = hits_.size();
            for (std::uint32_t d = 0; d < line.deferredCount; ++d) {
                const std::uint32_t r = batch.rules.deferred[line.deferredBegin + d];
                if (rules_.matches(r, event_)) {
                    hits_.push_back(r);
                }
            }
            std::inplace_merge(hits_.begin(), hits_.begin() + static_cast<std::ptrdiff_t>(local),
                               hits_.end());
        }
        for (std::uint8_t t = 0; t < line.tells; ++t) {
            lineage_.tellImage(line.tellPid[t], batch.rules.resolve(line.tellImage[t]));
        }
        // Command lines are kept per pid only when some rule reads a parent's.
        if (commandLinesWanted_ && line.isExec) {
            lineage_.exec(line.pid, batch.rules.resolve(line.commandLine));
        } else if (commandLinesWanted_ && line.isFork) {
            lineage_.fork(line.pid);
        }
    }
    return hits_.empty() ? nullptr : sets.intern(hits_, rules_);
}

}  // namespace korvantis

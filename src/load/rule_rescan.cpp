#include "load/rule_rescan.h"

#include <array>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "decode/line_decoder.h"
#include "decode/utf8_text.h"
#include "load/line_batch.h"
#include "load/row_rule_hits.h"
#include "rules/rule_hit_sets.h"
#include "rules/rule_set.h"

namespace korvantis {

namespace {

// Row lines are decoded this many at a time, then taken in order.
constexpr std::size_t kBatchRows = 4096;

struct BatchRow {
    RowKind kind;
    std::uint32_t row;
    std::uint32_t log;
    bool read;  // its line could be read back
};

bool kindMatches(RowKind kind, detail::LineKind line) {
    switch (kind) {
        case RowKind::process:
            return line == detail::LineKind::process;
        case RowKind::file:
            return line == detail::LineKind::file;
        case RowKind::other:
            return line == detail::LineKind::otherRow;
    }
    return false;
}

// The rows of the lists of every kind in the order of their places.
class RowsInPlaceOrder {
  public:
    explicit RowsInPlaceOrder(const RuleRescanRows& rows) : rows_(rows) {}
    // The next row, false after the last.
    bool next(RowKind& kind, std::uint32_t& row, LinePlace& place) {
        bool found = false;
        for (RowKind k : kRowKinds) {
            const PreviewRows::Snapshot& list = rows_.rows[k];
            if (at_[k] >= list.size()) {
                continue;
            }
            const LinePlace p = list.placeOf(at_[k]);
            if (!found || p.value() < place.value()) {
                found = true;
                kind = k;
                place = p;
            }
        }
        if (found) {
            row = static_cast<std::uint32_t>(at_[kind]++);
        }
        return found;
    }

  private:
    const RuleRescanRows& rows_;
    PerKind<std::size_t> at_{};
};

// The lineage and rule state of one log.
struct LogState {
    explicit LogState(const RuleSet& rules) : hits(rules, lineage) {}
    Lineage lineage;
    RowRuleHits hits;
};

}  // namespace

RuleRescanRows RuleRescanRows::of(const EventStore& store) {
    RuleRescanRows rows;
    for (RowKind kind : kRowKinds) {
        rows.rows[kind] = store.rows(kind).snapshot(store.rows(kind).size());
    }
    rows.refs = store.lineRefs().refsSnapshot(store.lineRefs().size());
    rows.logs = store.sharedLogFiles();
    return rows;
}

std::optional<EventStore::ReplacedHits> rescanRuleHits(const RuleRescanRows& rows,
                                                       const RuleSet& rules, RuleHitSets& sets,
                                                       const std::atomic<bool>& stop) {
    EventStore::ReplacedHits out;
    for (RowKind kind : kRowKinds) {
        out.rows[kind] = rows.rows[kind].size();
    }
    if (rules.empty()) {
        return out;
    }
    LogFiles::AheadReader reader(*rows.logs);
    LineDecoder decoder;
    RuleEvent event;
    detail::LineBatch batch;
    std::vector<BatchRow> batchRows;
    std::map<std::uint32_t, std::unique_ptr<LogState>> logs;
    RowsInPlaceOrder order(rows);
    bool more = true;
    while (more) {
        if (stop.load(std::memory_order_relaxed)) {
            return std::nullopt;
        }
        // A batch of row lines read back, one after the other.
        batch.clear();
        batchRows.clear();
        RowKind kind{};
        std::uint32_t row = 0;
        LinePlace place;
        while (batchRows.size() < kBatchRows && (more = order.next(kind, row, place))) {
            const LineRef& ref = rows.refs[place.value()];
            const ReadBack<std::string_view> line = reader.read(ref);
            detail::LineInfo& info = batch.lines.emplace_back();
            info.offset = batch.text.size();
            info.fileOffset = ref.offset;
            batchRows.push_back(BatchRow{kind, row, ref.log, line.has_value()});
            if (line) {
                batch.text.append(*line);
                info.length = line->size();
            }
            batch.text.append(1, '\n');
        }
        batch.linesEnd = batch.text.size();
        batch.text.append(LineDecoder::kPadding, ' ');
        // Decoded as a load decodes them.
        for (std::size_t i = 0; i < batch.lines.size(); ++i) {
            detail::LineInfo& info = batch.lines[i];
            if (!batchRows[i].read) {
                continue;
            }
            const std::string_view line = batch.lineText(info);
            const auto record = decoder.decodePadded(line.data(), line.size());
            if (!record) {
                batchRows[i].read = false;
                continue;
            }
            detail::describeRecord(record, info, batch);
            if (!kindMatches(batchRows[i].kind, info.kind)) {
                batchRows[i].read = false;
                continue;
            }
            detail::readRowRules(info, *record, decoder, batch, rules, event);
        }
        // Then taken in order, each log's lineage on its own.
        for (std::size_t i = 0; i < batch.lines.size(); ++i) {
            const BatchRow& r = batchRows[i];
            if (!r.read) {
                continue;
            }
            std::unique_ptr<LogState>& state = logs[r.log];
            if (!state) {
                state = std::make_unique<LogState>(rules);
            }
            const RuleHitSet* hits = state->hits.of(batch, batch.lines[i], sets);
            if (hits == nullptr) {
                continue;
            }
            out.hits[r.kind].push_back({r.row, hits});
        }
    }
    return out;
}

}  // namespace korvantis

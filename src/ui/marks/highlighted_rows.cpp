// The rows of a list each highlight rule selects.

#include "ui/marks/highlighted_rows.h"

#include <algorithm>

#include "query/filter_query.h"
#include "store/event_store.h"
#include "ui/marks/highlight_rules.h"
#include "ui/rows/filtered_row_source.h"
#include "ui/rows/store_notifier.h"
#include "workspace/workspace.h"

namespace korvantis::ui {

HighlightedRows::HighlightedRows(RowKind kind, StoreNotifier& notifier, const HighlightRules& rules,
                                 QObject* parent)
    : QObject(parent), kind_(kind), notifier_(notifier), rules_(rules) {
    connect(&rules_, &HighlightRules::changed, this, &HighlightedRows::rulesChanged);
    rulesChanged();
}

HighlightedRows::~HighlightedRows() = default;

void HighlightedRows::rulesChanged() {
    // A rule whose query stays keeps the rows it matched: a rule added,
    // moved or turned off costs no run of the others.
    std::vector<Matched> before = std::move(matched_);
    matched_.clear();
    treeSets_ = std::make_shared<TreeSetCache>();
    const QVector<HighlightRule>& rules = rules_.rules();
    for (int i = 0; i < rules.size(); ++i) {
        if (!rules[i].on) {
            continue;
        }
        const auto same = std::find_if(before.begin(), before.end(), [&](const Matched& m) {
            return m.rows && m.query == rules[i].query;
        });
        if (same != before.end()) {
            matched_.push_back({i, same->query, std::move(same->rows)});
            continue;
        }
        ParsedFilterQuery parsed = parseFilterQuery(rules[i].query.toStdString());
        if (!parsed.query || parsed.query->empty()) {
            continue;  // a rule that selects nothing, or everything, paints nothing
        }
        auto rows = std::make_unique<FilteredRowSource>(kind_, notifier_);
        rows->keepBits();
        rows->setTreeSets(treeSets_);
        connect(rows.get(), &RowSource::rowsReplaced, this, &HighlightedRows::changed);
        connect(rows.get(), &RowSource::rowsAppended, this, &HighlightedRows::changed);
        rows->setQuery(std::move(parsed.query));
        matched_.push_back({i, rules[i].query, std::move(rows)});
    }
    emit changed();
}

int HighlightedRows::ruleAt(LinePlace place) const {
    if (matched_.empty()) {
        return -1;
    }
    const auto row = notifier_.workspace().store.rowOf(kind_, place);
    if (!row) {
        return -1;
    }
    for (const Matched& m : matched_) {
        const std::shared_ptr<const RowBits> bits = m.rows->shownBits();
        if (bits && bits->test(row->value())) {
            return m.rule;
        }
    }
    return -1;
}

KindHighlights HighlightedRows::matchedRows() const {
    KindHighlights rows;
    for (const Matched& m : matched_) {
        if (auto bits = m.rows->shownBits()) {
            rows.push_back({m.rule, std::move(bits)});
        }
    }
    return rows;
}

bool HighlightedRows::ready() const {
    return std::none_of(matched_.begin(), matched_.end(),
                        [](const Matched& m) { return m.rows->searching(); });
}

}  // namespace korvantis::ui

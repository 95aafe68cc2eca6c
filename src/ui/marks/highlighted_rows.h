#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

#include "query/hit_marks.h"
#include "query/tree_set_cache.h"
#include "store/row_kind.h"
#include "store/store_index.h"

namespace korvantis::ui {

class FilteredRowSource;
class HighlightRules;
class StoreNotifier;

// Which rows of one list each highlight rule selects. Every rule that is on
// and has a valid query is matched the way the filter is, on a worker
// against a snapshot of the store and kept up to date as rows arrive, so
// painting only looks the answer up. Until a rule's run is done it
// highlights nothing.
class HighlightedRows : public QObject {
    Q_OBJECT
  public:
    HighlightedRows(RowKind kind, StoreNotifier& notifier, const HighlightRules& rules,
                    QObject* parent = nullptr);
    ~HighlightedRows() override;

    // The index (into the rules) of the first rule that is on and selects
    // the row of the line at `place`, or -1.
    int ruleAt(LinePlace place) const;
    // The rows each rule that is on selects now, in rule order, shared with
    // a worker that marks them (a change makes new ones).
    KindHighlights matchedRows() const;
    // Whether every rule's run is done.
    bool ready() const;

  signals:
    // Rows may be highlighted otherwise (a run ended or the rules changed).
    void changed();

  private:
    void rulesChanged();

    struct Matched {
        int rule;
        QString query;
        std::unique_ptr<FilteredRowSource> rows;
    };
    RowKind kind_;
    StoreNotifier& notifier_;
    const HighlightRules& rules_;
    std::shared_ptr<TreeSetCache> treeSets_ = std::make_shared<TreeSetCache>();
    std::vector<Matched> matched_;
};

}  // namespace korvantis::ui

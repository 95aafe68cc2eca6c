#pragma once

#include <QTreeWidget>

#include "query/rule_tally.h"
#include "store/store_index.h"

namespace korvantis {
class EventStore;
}

namespace korvantis::ui {

// The "Detections" list: one line per rule that rows match (its level in
// the level's colour, its title, how many rows), and on expanding a line,
// those rows (time in the chosen time display, pid, Image, command line). Double-clicking a row
// asks for it in its list.
class DetectionsPanel : public QTreeWidget {
    Q_OBJECT
  public:
    // At most this many rows are listed under a rule; the line after them
    // tells how many more there are.
    static constexpr int kListedRows = 5000;

    explicit DetectionsPanel(const EventStore& store, QWidget* parent = nullptr);

    // Shows `tallies`, keeping which rules were expanded.
    void show(const RuleTallies& tallies);
    const RuleTallies& tallies() const { return tallies_; }
    // The place of the line of the row an item stands for, if it does.
    std::optional<LinePlace> placeOf(const QTreeWidgetItem* item) const;

  signals:
    void rowChosen(korvantis::LinePlace place);

  private:
    void fill(QTreeWidgetItem* ruleItem);
    // The listed rows' times, in the time display chosen now.
    void showTimesAgain();

    const EventStore& store_;
    RuleTallies tallies_;
};

}  // namespace korvantis::ui

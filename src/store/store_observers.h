#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "store/row_kind.h"

namespace korvantis {

// The announced fields of a main window's model. Observers are told, before
// each change of one of them, which one is about to change.
enum class StoreField {
    activeProcessRow,  // the chosen row of each kind, in RowKind's order
    activeFileRow,
    activeOtherRow,
    activeEventJson,
    loadErrors,
    showErrors,
    showLegend,
    processRows,  // the rows of each kind, in RowKind's order
    fileRows,
    otherRows,
    sequenceGaps,
    loadProgress,
    loadedLogs,
    ruleHits,  // the detection rules' hits of rows already there
    rowMarks,  // the tags and notes of rows (MarkedLines)
};

// The field of the rows of `kind`, and of its chosen row.
constexpr StoreField rowsField(RowKind kind) {
    return static_cast<StoreField>(static_cast<int>(StoreField::processRows) +
                                   static_cast<int>(kind));
}
constexpr StoreField activeRowField(RowKind kind) {
    return static_cast<StoreField>(static_cast<int>(StoreField::activeProcessRow) +
                                   static_cast<int>(kind));
}

// The observer list shared by the parts of one window's model. Used only on
// the thread that owns the model.
class StoreObservers {
  public:
    using Observer = std::function<void(StoreField)>;
    using ObserverId = std::uint64_t;

    ObserverId observe(Observer observer);
    void unobserve(ObserverId id);
    // Tells every observer that `field` is about to change. Observers may
    // add or remove observers meanwhile: added ones are told from the next
    // change on, removed ones are not told any more.
    void announce(StoreField field);

  private:
    void dropRemoved();

    struct Entry {
        ObserverId id;
        Observer observer;
        bool removed = false;
    };
    // Entries stay put while they are called, whatever the observers do.
    std::vector<std::unique_ptr<Entry>> entries_;
    ObserverId nextId_ = 1;
    int announcing_ = 0;       // nesting depth of announce()
    bool removedAny_ = false;  // entries marked removed wait to be dropped
};

}  // namespace korvantis

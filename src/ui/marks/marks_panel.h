#pragma once

#include <QWidget>

#include "store/store_index.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace korvantis {
class EventStore;
}

namespace korvantis::ui {

class WindowMarks;

// The Marks panel: the marked rows of the window in time order, with their
// time, kind, pid, path, tags and the first line of the note; a click on
// one goes to its row. The marks that no longer match their lines are
// listed after them, greyed, with the line they were made on.
class MarksPanel : public QWidget {
    Q_OBJECT
  public:
    MarksPanel(const EventStore& store, WindowMarks& marks, QWidget* parent = nullptr);

    QTreeWidget* list() const { return list_; }

  signals:
    void rowChosen(korvantis::LinePlace entry);

  private:
    void fill();

    const EventStore& store_;
    WindowMarks& marks_;
    QTreeWidget* list_;
};

}  // namespace korvantis::ui

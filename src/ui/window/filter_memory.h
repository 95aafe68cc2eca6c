#pragma once

#include <QObject>

class QLineEdit;
class QMenu;

namespace korvantis::ui {

class FilterBar;

// The filter field's memory: a query is kept in the history when the user
// is done with it (Return, or the field loses the focus); the field's
// drop-down button lists the history, and Up/Down in the empty field (then
// on the queries it brought) step through it. View > Save Filter As… names
// the query, and the Saved Filters menu puts a named one back.
class FilterMemory : public QObject {
    Q_OBJECT
  public:
    FilterMemory(FilterBar& bar, QMenu& viewMenu);

    QMenu* historyMenu() const { return history_; }
    QMenu* savedMenu() const { return saved_; }
    // Names the field's query (asks the name).
    void saveFilterAs();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void fillHistory();
    void fillSaved();
    // Up (-1 toward older) or Down (+1 toward newer) in the history.
    void step(int toward);

    FilterBar& bar_;
    QLineEdit* field_;
    QMenu* history_;
    QMenu* saved_;
    // The place in the history of the query Up/Down put in the field, -1 none.
    int at_ = -1;
};

}  // namespace korvantis::ui

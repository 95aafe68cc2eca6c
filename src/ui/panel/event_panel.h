#pragma once

#include <QWidget>

#include <memory>

#include "ui/list/column_choice.h"
#include "ui/list/column_layout.h"
#include "ui/list/preview_list.h"
#include "ui/panel/row_menu.h"
#include "ui/rows/filtered_row_source.h"
#include "ui/rows/row_source.h"
#include "ui/rows/selector.h"
#include "ui/rows/sorted_row_source.h"
#include "ui/rows/store_notifier.h"

namespace korvantis::ui {

class DetailArea;
class DetailTextLoader;

// Column headers, the list of rows and the closing divider, with the panel's
// own Selector. Choosing a row: both flags off, the selector set, the store
// told (the detail text follows from a worker); the selected row ignores
// clicks. The rows are those the filter shows;
// the chosen row stays chosen while it is shown. A right-click opens the
// row's menu.
class EventPreview : public QWidget {
    Q_OBJECT
  public:
    EventPreview(StoreNotifier& notifier, RowKind kind, QWidget* parent = nullptr);
    ~EventPreview() override;

    // The rows as the list shows them: filtered, then sorted.
    RowSource& rows() const { return *sorted_; }
    FilteredRowSource& filteredRows() const { return *rows_; }
    SortedRowSource& sortedRows() const { return *sorted_; }
    ColumnLayout& columns() const { return *columns_; }
    // Which columns the list shows; its fillMenu() makes a columns menu.
    ColumnChoice& columnChoice() const { return *choice_; }
    PreviewList* list() const { return list_; }
    ColumnHeaders* headers() const { return headers_; }
    Selector& selector() { return selector_; }

    // The four steps of choosing a row; nothing when it is the selected row.
    void chooseRow(int row);
    // The right-click menu of a shown row (deleted when closed).
    RowMenu* menuForRow(int row);
    // The right-click menu of the column headers: the columns, then the time
    // display (deleted when closed).
    QMenu* columnsMenu();
    // What a click on a column's title does: sorts by it ascending, then
    // descending, then shows load order again.
    void cycleSort(int column);

  signals:
    void filterActionChosen(korvantis::ui::RowFilterAction action, qint64 pid, const QString& path);
    // A row action that keeps the rows whose `fact` is `value` (see withFactTerm).
    void factFilterChosen(korvantis::Fact fact, const QString& value);
    // A row's menu was made, for others to add their entries to.
    void rowMenuMade(korvantis::ui::RowMenu* menu, int row);
    // "Only rows of this rule" (see FilterBar::applyRuleFilter).
    void ruleFilterChosen(const QString& term);

  private:
    void keepChosenRow();

    Workspace& workspace_;
    std::unique_ptr<FilteredRowSource> rows_;
    std::unique_ptr<SortedRowSource> sorted_;
    ColumnLayout* columns_;
    ColumnChoice* choice_;
    Selector selector_;
    DetailTextLoader* detailLoader_;
    ColumnHeaders* headers_;
    PreviewList* list_;
};

// A whole event panel, of process or of file events: the preview over the
// detail area. Dropping files on it loads each of them, in the order given.
class EventPanel : public QWidget {
    Q_OBJECT
  public:
    EventPanel(StoreNotifier& notifier, RowKind kind, QWidget* parent = nullptr);

    EventPreview* preview() const { return preview_; }
    DetailArea* detail() const { return detail_; }

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    Workspace& workspace_;
    EventPreview* preview_;
    DetailArea* detail_;
};

}  // namespace korvantis::ui

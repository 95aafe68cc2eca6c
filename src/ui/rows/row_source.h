#pragma once

#include <QObject>
#include <QString>

#include "store/row_fields.h"
#include "store/row_view.h"
#include "store/store_index.h"
#include "ui/look/field_mark.h"

namespace korvantis::ui {

// The rows an event list shows, read row by row as the list paints them: the
// list never copies them. A source may show all of a store's rows of one kind
// or a chosen few (a filter's row numbers into the store), and may grow while
// the list shows it. Colours are not decided here, only how a cell is marked.
class RowSource : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;

    virtual int rowCount() const = 0;
    // The row's fields, read from the store.
    virtual RowView row(int row) const = 0;
    // The cell of `field`, as the list paints it.
    virtual QString text(int row, FieldId field) const = 0;
    virtual Mark mark(int row, FieldId field) const = 0;
    // The place of the stored line a row shows, handed to the store when it
    // is chosen.
    virtual LinePlace rowPlace(int row) const = 0;

  signals:
    // Rows were added at the end; earlier rows are as they were.
    void rowsAppended();
    // Any row may now show other entries (a new filter).
    void rowsReplaced();
    // The marks of any row may have changed (another event chosen).
    void marksChanged();
    // The texts of some rows may have changed, the rows staying (a run ended:
    // its rows' outcome).
    void textsChanged();
};

}  // namespace korvantis::ui

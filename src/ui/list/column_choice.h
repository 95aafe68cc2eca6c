#pragma once

#include <QObject>
#include <QVariantMap>

#include <vector>

#include "output/row_export.h"
#include "ui/list/column_layout.h"

class QMenu;

namespace korvantis::ui {

// Which columns one event list shows: today's by default, and on demand the
// other fields its kind offers (the facts of eslogger rows: Args, CWD, User,
// ...). The choice and the widths
// the user drags are remembered per list across runs (QSettings) and given to
// the list's ColumnLayout. The offered columns stand before the one that
// keeps the rest of the row (Path, or the other rows' Summary).
class ColumnChoice : public QObject {
    Q_OBJECT
  public:
    ColumnChoice(RowKind kind, ColumnLayout& layout, QObject* parent = nullptr);
    ~ColumnChoice() override;

    // Every column the list can show, in the order shown.
    const std::vector<EventColumn>& available() const { return available_; }
    bool isShown(FieldId key) const;
    // Shows or hides a column and remembers the choice; the last shown
    // column stays.
    void setShown(FieldId key, bool shown);
    // The fields of the shown columns, in their order.
    std::vector<FieldId> shownFields() const;
    // Shows the columns of `shown` (in the order the list keeps), each with
    // its width (0: as it was), and remembers the choice; fields the list
    // does not offer are passed over, and nothing changes when none is left.
    void setShownColumns(const std::vector<std::pair<FieldId, int>>& shown);

    // Adds a checkable action per column to `menu`: the header's menu and
    // the menu bar's View > Columns both offer these.
    void fillMenu(QMenu& menu);

  private:
    void apply();
    void keepWidths();
    // The choice (and the widths dragged) go to the settings on the next
    // turn of the event loop, all in one write: a session's columns or a
    // drag of a column's edge change them many times in a row, and each write
    // of the settings file can keep the window's thread for milliseconds.
    void keepSoon();
    void keep();
    // `what` ("columns", "widths") of this list.
    QString settingsKey(const QString& what) const;

    RowKind kind_;
    ColumnLayout& layout_;
    std::vector<EventColumn> available_;
    std::vector<bool> shown_;
    bool keepPending_ = false;
    bool choiceChanged_ = false;
    QVariantMap widthsChanged_;  // by column name, since the last write
};

}  // namespace korvantis::ui

#pragma once

#include <QObject>
#include <QPointer>

#include "store/row_kind.h"
#include "ui/marks/highlight_rules.h"
#include "ui/marks/highlights_dialog.h"

class QMenu;

namespace korvantis::ui {

class HighlightedRows;
class MainView;

// The highlight rules of a main window: View > Highlights… edits them, and
// every list paints each row with the colour of the first rule that is on
// and selects it (the chosen row's and its relatives' text colours are
// drawn over it).
class WindowHighlights : public QObject {
    Q_OBJECT
  public:
    explicit WindowHighlights(MainView& view);

    HighlightRules& rules() { return rules_; }
    const HighlightRules& rules() const { return rules_; }
    HighlightedRows& rowsOf(RowKind kind) const { return *rows_[kind]; }
    // The dialog, while it is open.
    HighlightsDialog* dialog() const { return dialog_; }
    void showDialog();
    // View > Highlights…, added once the view's menus are made.
    void addMenuEntry(QMenu& viewMenu);

  private:
    MainView& view_;
    HighlightRules rules_;
    PerKind<HighlightedRows*> rows_{};
    QPointer<HighlightsDialog> dialog_;
};

}  // namespace korvantis::ui

#pragma once

#include <QWidget>

#include <memory>

#include "query/tree_set_cache.h"
#include "store/row_kind.h"
#include "ui/panel/row_menu.h"
#include "ui/window/export_action.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace korvantis::ui {

class FilteredRowSource;

// The filter field above the tabs, what is wrong with its query or how far a
// raw-line search has got beside it, and "Export…". Every edit is parsed and
// handed to every list; a query with an error keeps the rows shown, turns the
// field red and says what is wrong. While a query is in force the tab titles
// count the rows shown and all rows: "Processes (1,234 of 305,736)"; rows a
// `json:` term could not read again are counted beside the field. Esc in the
// field clears it when it holds text; else Esc goes on to the window (to
// cancel a running load).
class FilterBar : public QWidget {
    Q_OBJECT
  public:
    // `tabs` holds the lists' panels in RowKind's order, each added to it
    // before its list is added here.
    FilterBar(Workspace& workspace, QTabWidget* tabs, QWidget* parent = nullptr);

    // A list the query is handed to, its tab titled from `name`.
    void addRows(FilteredRowSource& rows, const QString& name);

    QLineEdit* field() const { return field_; }
    QLabel* message() const { return message_; }
    ExportAction* exportAction() const { return exportAction_; }
    // Whether the field's query has an error.
    bool invalid() const { return invalid_; }

    // Puts `query` in the field (filters as an edit would).
    void setQuery(const QString& query);
    // Gives the field the keyboard, its text selected.
    void focusField();
    // Edits the query for a row action: only a process, a process tree, or
    // without a path.
    void applyRowAction(RowFilterAction action, qint64 pid, const QString& path);
    // Keeps only the rows whose `fact` is `value` (see withFactTerm).
    void applyFactFilter(korvantis::Fact fact, const QString& value);
    // "Only rows of this rule": `rule:"TERM"` in place of the query's other
    // `rule:` terms that are not negated.
    void applyRuleFilter(const QString& term);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void watch(FilteredRowSource& source);
    void queryEdited(const QString& text);
    void updateTitles();
    void updateMessage();

    QTabWidget* tabs_;
    PerKind<FilteredRowSource*> rows_{};  // null until added
    std::shared_ptr<TreeSetCache> treeSets_;
    PerKind<QString> names_;
    QLineEdit* field_;
    QLabel* message_;
    QPushButton* export_;
    ExportAction* exportAction_;
    bool invalid_ = false;
    QString error_;
    QString done_;  // what the last export did
};

}  // namespace korvantis::ui

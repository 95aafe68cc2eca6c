#pragma once

#include <QWidget>

#include "ui/export_action.h"
#include "ui/row_menu.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace korvantis::ui {

class FilteredRowSource;

// The filter field above the tabs, what is wrong with its query or how far a
// raw-line search has got beside it, and "Export…". Every edit is parsed and
// handed to both lists; a query with an error keeps the rows shown, turns the
// field red and says what is wrong. While a query is in force the tab titles
// count the rows shown and all rows: "Processes (1,234 of 305,736)". Esc in
// the field clears it.
class FilterBar : public QWidget {
    Q_OBJECT
  public:
    // `tabs` holds the process list's panel first, the file list's second.
    FilterBar(Workspace& workspace, QTabWidget* tabs, FilteredRowSource& procs,
              FilteredRowSource& files, QWidget* parent = nullptr);

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

  private:
    void queryEdited(const QString& text);
    void updateTitles();
    void updateMessage();

    QTabWidget* tabs_;
    FilteredRowSource& procs_;
    FilteredRowSource& files_;
    QString procName_;
    QString fileName_;
    QLineEdit* field_;
    QLabel* message_;
    QPushButton* export_;
    ExportAction* exportAction_;
    bool invalid_ = false;
    QString error_;
    QString done_;  // what the last export did
};

}  // namespace korvantis::ui

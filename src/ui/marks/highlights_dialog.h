#pragma once

#include <QDialog>

#include "ui/marks/highlight_rules.h"

class QLabel;
class QTableWidget;

namespace korvantis::ui {

// View > Highlights…: the ordered rules, each with whether it is on, its
// name, its query and its colour; rules are added, removed and moved up or
// down, and the set can be made the default for new sessions. OK keeps the
// rules when every query is valid, else names the first that is not.
class HighlightsDialog : public QDialog {
    Q_OBJECT
  public:
    HighlightsDialog(const QVector<HighlightRule>& initial, QWidget* parent = nullptr);

    QTableWidget* table() const { return table_; }
    // The rules as edited.
    QVector<HighlightRule> rules() const;
    void addRule(const HighlightRule& rule);

  signals:
    // Save as Default was pressed with these rules.
    void defaultAsked(const QVector<HighlightRule>& rules);

  public slots:
    void accept() override;

  private:
    void moveChosen(int step);

    QTableWidget* table_;
    QLabel* problem_;
};

}  // namespace korvantis::ui

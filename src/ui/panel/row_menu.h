#pragma once

#include <QMenu>

#include <functional>

#include "decode/row_facts.h"

namespace korvantis::ui {

// What the right-click menu of a row acts on.
struct RowMenuFacts {
    qint64 pid = 0;
    QString path;
    QString rowText;  // the row's cells, tab-separated
    QString uid;      // the row's facts, empty when it has none
    QString signingId;
    std::function<QString()> commandLine;  // set when the row has args
    // The detection rules the row matches, in rule order: the title shown,
    // and the text a `rule:` term keeps its rows with (its id, else its
    // title).
    struct Rule {
        QString title;
        QString term;
    };
    QList<Rule> rules;
};

// The filtering actions edit the query text (see FilterBar); the copy
// actions put plain text on the clipboard.
enum class RowFilterAction { onlyProcess, processTree, hidePath };

// The menu of a right-click on a row: "Only this process", "This process and
// what it started", "Hide this path", "Only this user" and "Only this signer"
// (these two on rows with that fact), then "Copy row", "Copy path", "Copy
// pid" and "Copy command line" (on rows with args). A row that detection
// rules match has "Only rows of this rule" after the filters, a submenu of
// the rules' titles when it matches more than one.
class RowMenu : public QMenu {
    Q_OBJECT
  public:
    RowMenu(const RowMenuFacts& facts, QWidget* parent = nullptr);

    QAction* onlyProcessAction() const { return onlyProcess_; }
    QAction* processTreeAction() const { return processTree_; }
    QAction* hidePathAction() const { return hidePath_; }
    QAction* copyRowAction() const { return copyRow_; }
    QAction* copyPathAction() const { return copyPath_; }
    QAction* copyPidAction() const { return copyPid_; }
    // Null on rows without the fact.
    QAction* onlyUserAction() const { return onlyUser_; }
    QAction* onlySignerAction() const { return onlySigner_; }
    QAction* copyCommandLineAction() const { return copyCommandLine_; }
    // One per rule the row matches; empty on rows without hits.
    const QList<QAction*>& onlyRuleActions() const { return onlyRule_; }

  signals:
    void filterActionChosen(korvantis::ui::RowFilterAction action, qint64 pid, const QString& path);
    void factFilterChosen(korvantis::Fact fact, const QString& value);
    // "Only rows of this rule": the `rule:` term's text.
    void ruleFilterChosen(const QString& term);

  private:
    QAction* onlyProcess_;
    QAction* processTree_;
    QAction* hidePath_;
    QAction* copyRow_;
    QAction* copyPath_;
    QAction* copyPid_;
    QAction* onlyUser_ = nullptr;
    QAction* onlySigner_ = nullptr;
    QAction* copyCommandLine_ = nullptr;
    QList<QAction*> onlyRule_;
};

}  // namespace korvantis::ui

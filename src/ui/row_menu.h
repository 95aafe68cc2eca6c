#pragma once

#include <QMenu>

namespace korvantis::ui {

// What the right-click menu of a row acts on.
struct RowFacts {
    qint64 pid = 0;
    QString path;
    QString rowText;  // the row's cells, tab-separated
};

// The filtering actions edit the query text (see FilterBar); the copy
// actions put plain text on the clipboard.
enum class RowFilterAction { onlyProcess, processTree, hidePath };

// The menu of a right-click on a row: "Only this process", "This process and
// what it started", "Hide this path", then "Copy row", "Copy path" and "Copy
// pid".
class RowMenu : public QMenu {
    Q_OBJECT
  public:
    RowMenu(const RowFacts& facts, QWidget* parent = nullptr);

    QAction* onlyProcessAction() const { return onlyProcess_; }
    QAction* processTreeAction() const { return processTree_; }
    QAction* hidePathAction() const { return hidePath_; }
    QAction* copyRowAction() const { return copyRow_; }
    QAction* copyPathAction() const { return copyPath_; }
    QAction* copyPidAction() const { return copyPid_; }

  signals:
    void filterActionChosen(korvantis::ui::RowFilterAction action, qint64 pid, const QString& path);

  private:
    QAction* onlyProcess_;
    QAction* processTree_;
    QAction* hidePath_;
    QAction* copyRow_;
    QAction* copyPath_;
    QAction* copyPid_;
};

}  // namespace korvantis::ui

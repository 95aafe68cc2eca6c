#pragma once

#include <QDialog>

#include <atomic>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;
class QProgressBar;

namespace korvantis::ui {

class ClickHouseConnectionFields;
class MainView;
class WorkerRelay;

// File > Open from ClickHouse…: a server, a table and a SQL condition. The
// rows the condition holds for are counted first, off the UI thread, and
// the count is shown on the button that opens them ("Open 1,234 rows");
// changing a field counts again. Opening loads them into the window (see
// ClickHouseOpening) and closes the dialog; the fields are remembered.
class ClickHouseOpenDialog : public QDialog {
    Q_OBJECT
  public:
    ClickHouseOpenDialog(MainView& view);
    ~ClickHouseOpenDialog() override;

    QLineEdit* whereField() const { return where_; }
    ClickHouseConnectionFields& connection() const { return *connection_; }
    QPushButton* actionButton() const { return action_; }
    QLabel* statusLabel() const { return status_; }

  private:
    void act();
    void count();
    void counted(bool ok, qulonglong rows, const QString& error);
    void reset();

    MainView& view_;
    std::unique_ptr<ClickHouseConnectionFields> connection_;
    QLineEdit* where_;
    QPushButton* action_;
    QProgressBar* busy_;
    QLabel* status_;
    std::shared_ptr<WorkerRelay> relay_;
    int counting_ = 0;  // the count asked for last; older answers are dropped
    bool counted_ = false;
};

}  // namespace korvantis::ui

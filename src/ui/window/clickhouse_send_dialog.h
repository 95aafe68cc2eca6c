#pragma once

#include <QDialog>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace korvantis::ui {

class ClickHouseConnectionFields;
class MainView;
class WorkerRelay;

// File > Send to ClickHouse…: sends the window's logs (those kept as files;
// a log that came down a pipe cannot be read again whole) to a table, each
// loaded again on a worker thread as korvantis-inspect --to-clickhouse
// does, with progress, and Cancel stopping it between rows. The host is the
// one typed, or each log's file name without suffixes when empty. The
// fields are remembered, the password is not.
class ClickHouseSendDialog : public QDialog {
    Q_OBJECT
  public:
    ClickHouseSendDialog(MainView& view);
    ~ClickHouseSendDialog() override;

    ClickHouseConnectionFields& connection() const { return *connection_; }
    QLineEdit* hostField() const { return host_; }
    QPushButton* sendButton() const { return send_; }
    QPushButton* cancelButton() const { return cancel_; }
    QProgressBar* progressBar() const { return progress_; }
    QLabel* statusLabel() const { return status_; }
    // Whether a send runs.
    bool sending() const { return stop_ != nullptr; }

  signals:
    // A send ended: every line went (empty), or why not.
    void sendFinished(const QString& error);

  private:
    void send();
    void cancel();
    void progressed(const QString& log, qulonglong sent, qulonglong total);
    void ended(const QString& error, qulonglong lines);

    std::unique_ptr<ClickHouseConnectionFields> connection_;
    std::vector<std::string> logs_;
    QLineEdit* host_;
    QProgressBar* progress_;
    QLabel* status_;
    QPushButton* send_;
    QPushButton* cancel_;
    std::shared_ptr<WorkerRelay> relay_;
    std::shared_ptr<std::atomic<bool>> stop_;  // while sending
};

}  // namespace korvantis::ui

#include "ui/window/clickhouse_send_dialog.h"

#include <sys/stat.h>

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <thread>

#include "fleet/fleet_send.h"
#include "fleet/log_send.h"
#include "ui/look/clickhouse_texts.h"
#include "ui/look/viewer_settings.h"
#include "ui/look/worker_relay.h"
#include "ui/window/clickhouse_connection.h"
#include "ui/window/main_view.h"
#include "workspace/workspace.h"

namespace korvantis::ui {

namespace {

const QString kHostKey = QStringLiteral("clickhouse/host");

// The window's logs that can be read again whole: plain and compressed files.
std::vector<std::string> sendableLogs(const LogFiles& files) {
    std::vector<std::string> logs;
    for (std::uint32_t i = 0; i < files.size(); ++i) {
        const std::string path = files.path(i);
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            std::find(logs.begin(), logs.end(), path) == logs.end()) {
            logs.push_back(path);
        }
    }
    return logs;
}

}  // namespace

ClickHouseSendDialog::ClickHouseSendDialog(MainView& view)
    : QDialog(&view),
      logs_(sendableLogs(view.workspace().store.logFiles())),
      relay_(std::make_shared<WorkerRelay>(this)) {
    setWindowTitle(sendToClickHouseTitle());
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    connection_ = std::make_unique<ClickHouseConnectionFields>(*form, this);
    host_ = new QLineEdit(viewerSettings().value(kHostKey).toString(), this);
    host_->setPlaceholderText(logs_.empty() ? QString()
                                            : QString::fromStdString(defaultHostOf(logs_.front())));
    form->addRow(clickHouseHostLabel(), host_);
    layout->addLayout(form);
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 1);
    progress_->setValue(0);
    layout->addWidget(progress_);
    status_ = new QLabel(logs_.empty() ? nothingToSendText() : QString(), this);
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(status_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    cancel_ = buttons->button(QDialogButtonBox::Cancel);
    send_ = buttons->addButton(sendButtonText(), QDialogButtonBox::AcceptRole);
    send_->setDefault(true);
    send_->setEnabled(!logs_.empty());
    layout->addWidget(buttons);
    connect(send_, &QPushButton::clicked, this, &ClickHouseSendDialog::send);
    connect(cancel_, &QPushButton::clicked, this, &ClickHouseSendDialog::cancel);
}

ClickHouseSendDialog::~ClickHouseSendDialog() {
    if (stop_) {
        stop_->store(true);
    }
    relay_->release();
}

void ClickHouseSendDialog::send() {
    if (!connection_->valid()) {
        status_->setText(sendFailedText(clickHouseFieldsNeededText()));
        return;
    }
    connection_->remember();
    viewerSettings().setValue(kHostKey, host_->text().trimmed());
    stop_ = std::make_shared<std::atomic<bool>>(false);
    send_->setEnabled(false);
    status_->clear();
    // Cancel ends a request on its way too, such as one to a server that
    // never answers.
    ClickHouseClient client = connection_->client();
    client.setStop(stop_.get());
    std::thread([relay = relay_, stop = stop_, client = std::move(client),
                 table = connection_->tableName(), host = host_->text().trimmed().toStdString(),
                 logs = logs_, self = this] {
        std::uint64_t lines = 0;
        SendResult created = createEventTable(client, table);
        std::string error = created.error;
        for (std::size_t i = 0; error.empty() && i < logs.size(); ++i) {
            const LogToSend log{logs[i], host.empty() ? defaultHostOf(logs[i]) : host, nullptr};
            const QString name = QString::fromStdString(logs[i]).section(u'/', -1);
            const LogSendResult result = sendLog(
                client, table, log,
                [&](std::uint64_t sent, std::uint64_t total) {
                    relay->post([self, name, sent, total] { self->progressed(name, sent, total); });
                },
                stop.get());
            lines += result.acknowledged;
            if (!result.ok()) {
                error = logs[i] + ": " + result.error + " (" + std::to_string(result.acknowledged) +
                        " of " + std::to_string(result.total) + " lines were sent)";
            }
        }
        relay->post([self, error = QString::fromStdString(error), lines = qulonglong(lines)] {
            self->ended(error, lines);
        });
    }).detach();
}

void ClickHouseSendDialog::cancel() {
    if (stop_) {
        stop_->store(true);  // the send ends at its next row or request
        cancel_->setEnabled(false);
        return;
    }
    reject();
}

void ClickHouseSendDialog::progressed(const QString& log, qulonglong sent, qulonglong total) {
    progress_->setRange(0, 1000);
    progress_->setValue(total == 0 ? 1000 : static_cast<int>(sent * 1000 / total));
    status_->setText(sendingText(log, sent, total));
}

void ClickHouseSendDialog::ended(const QString& error, qulonglong lines) {
    const bool cancelled = stop_ && stop_->load();
    stop_.reset();
    send_->setEnabled(true);
    cancel_->setEnabled(true);
    if (error.isEmpty()) {
        progress_->setRange(0, 1);
        progress_->setValue(1);
    }
    status_->setText(error.isEmpty() ? sentText(lines, static_cast<int>(logs_.size()))
                     : cancelled     ? cancelledText()
                                     : sendFailedText(error));
    emit sendFinished(cancelled ? cancelledText() : error);
}

}  // namespace korvantis::ui

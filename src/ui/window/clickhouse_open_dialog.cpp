#include "ui/window/clickhouse_open_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <thread>

#include "fleet/fleet_fetch.h"
#include "ui/look/clickhouse_texts.h"
#include "ui/look/viewer_settings.h"
#include "ui/look/worker_relay.h"
#include "ui/window/clickhouse_connection.h"
#include "ui/window/clickhouse_opening.h"
#include "ui/window/main_view.h"

namespace korvantis::ui {

namespace {
const QString kWhereKey = QStringLiteral("clickhouse/where");
}

ClickHouseOpenDialog::ClickHouseOpenDialog(MainView& view)
    : QDialog(&view), view_(view), relay_(std::make_shared<WorkerRelay>(this)) {
    setWindowTitle(openFromClickHouseTitle());
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    connection_ = std::make_unique<ClickHouseConnectionFields>(*form, this);
    where_ = new QLineEdit(viewerSettings().value(kWhereKey).toString(), this);
    where_->setPlaceholderText(clickHouseWherePlaceholder());
    where_->setMinimumWidth(420);
    form->addRow(clickHouseWhereLabel(), where_);
    layout->addLayout(form);
    busy_ = new QProgressBar(this);
    busy_->setRange(0, 0);
    busy_->hide();
    layout->addWidget(busy_);
    status_ = new QLabel(this);
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(status_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    action_ = buttons->addButton(countButtonText(), QDialogButtonBox::AcceptRole);
    action_->setDefault(true);
    layout->addWidget(buttons);
    connect(action_, &QPushButton::clicked, this, &ClickHouseOpenDialog::act);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    for (QLineEdit* field : {connection_->server(), connection_->user(), connection_->password(),
                             connection_->table(), where_}) {
        connect(field, &QLineEdit::textEdited, this, &ClickHouseOpenDialog::reset);
    }
}

ClickHouseOpenDialog::~ClickHouseOpenDialog() {
    relay_->release();
}

void ClickHouseOpenDialog::act() {
    if (!counted_) {
        count();
        return;
    }
    connection_->remember();
    viewerSettings().setValue(kWhereKey, where_->text());
    ClickHouseOpening::start(view_, connection_->client(), connection_->tableName(),
                             where_->text().toStdString());
    accept();
}

void ClickHouseOpenDialog::count() {
    if (!connection_->valid() || where_->text().trimmed().isEmpty()) {
        status_->setText(openFailedText(clickHouseFieldsNeededText()));
        return;
    }
    const int asked = ++counting_;
    busy_->show();
    action_->setEnabled(false);
    status_->setText(countingRowsText());
    std::thread([relay = relay_, client = connection_->client(), table = connection_->tableName(),
                 where = where_->text().toStdString(), asked, self = this] {
        const FetchResult result = countRows(client, table, where);
        const QString error = QString::fromStdString(result.error);
        relay->post([self, asked, ok = result.ok(), rows = qulonglong(result.rows), error] {
            if (asked == self->counting_) {
                self->counted(ok, rows, error);
            }
        });
    }).detach();
}

void ClickHouseOpenDialog::counted(bool ok, qulonglong rows, const QString& error) {
    busy_->hide();
    action_->setEnabled(true);
    counted_ = ok;
    status_->setText(ok ? rowsMatchText(rows) : openFailedText(error));
    action_->setText(ok ? openRowsButtonText(rows) : countButtonText());
}

void ClickHouseOpenDialog::reset() {
    ++counting_;  // an answer on its way is for other fields
    counted_ = false;
    busy_->hide();
    action_->setEnabled(true);
    action_->setText(countButtonText());
    status_->clear();
}

}  // namespace korvantis::ui

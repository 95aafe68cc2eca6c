#include "ui/window/clickhouse_connection.h"

#include <QFormLayout>
#include <QLineEdit>

#include <cstdlib>

#include "fleet/clickhouse_client.h"
#include "ui/look/clickhouse_texts.h"
#include "ui/look/viewer_settings.h"

namespace korvantis::ui {

namespace {

const QString kServerKey = QStringLiteral("clickhouse/server");
const QString kUserKey = QStringLiteral("clickhouse/user");
const QString kTableKey = QStringLiteral("clickhouse/table");

QString environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? QString::fromLocal8Bit(value) : QString();
}

}  // namespace

ClickHouseConnectionFields::ClickHouseConnectionFields(QFormLayout& form, QWidget* parent)
    : server_(new QLineEdit(parent)),
      user_(new QLineEdit(parent)),
      password_(new QLineEdit(parent)),
      table_(new QLineEdit(parent)) {
    const QSettings settings = viewerSettings();
    server_->setText(
        settings.value(kServerKey, QStringLiteral("http://127.0.0.1:8123/")).toString());
    const QString envUser = environment("KORVANTIS_CLICKHOUSE_USER");
    user_->setText(envUser.isEmpty() ? settings.value(kUserKey).toString() : envUser);
    password_->setEchoMode(QLineEdit::Password);
    password_->setText(environment("KORVANTIS_CLICKHOUSE_PASSWORD"));
    table_->setText(settings.value(kTableKey, QStringLiteral("korvantis_events")).toString());
    form.addRow(clickHouseServerLabel(), server_);
    form.addRow(clickHouseUserLabel(), user_);
    form.addRow(clickHousePasswordLabel(), password_);
    form.addRow(clickHouseTableLabel(), table_);
}

bool ClickHouseConnectionFields::valid() const {
    const QString server = server_->text().trimmed();
    return validTableName(tableName()) && (server.startsWith(QStringLiteral("http://")) ||
                                           server.startsWith(QStringLiteral("https://")));
}

ClickHouseClient ClickHouseConnectionFields::client() const {
    return ClickHouseClient(server_->text().trimmed().toStdString(), user_->text().toStdString(),
                            password_->text().toStdString());
}

std::string ClickHouseConnectionFields::tableName() const {
    return table_->text().trimmed().toStdString();
}

void ClickHouseConnectionFields::remember() const {
    QSettings settings = viewerSettings();
    settings.setValue(kServerKey, server_->text().trimmed());
    settings.setValue(kUserKey, user_->text());
    settings.setValue(kTableKey, table_->text().trimmed());
}

}  // namespace korvantis::ui

#pragma once

#include <QString>

#include <string>

class QFormLayout;
class QLineEdit;
class QWidget;

namespace korvantis {
class ClickHouseClient;
}

namespace korvantis::ui {

// The server, user, password and table fields both ClickHouse dialogs show,
// filled as they were last used. The password is never kept in the settings:
// it comes from KORVANTIS_CLICKHOUSE_PASSWORD or is typed each time (as the
// user does, when KORVANTIS_CLICKHOUSE_USER is set).
class ClickHouseConnectionFields {
  public:
    ClickHouseConnectionFields(QFormLayout& form, QWidget* parent);

    QLineEdit* server() const { return server_; }
    QLineEdit* user() const { return user_; }
    QLineEdit* password() const { return password_; }
    QLineEdit* table() const { return table_; }

    // Whether the table is a table name and the server an http(s) URL.
    bool valid() const;
    ClickHouseClient client() const;
    std::string tableName() const;
    // Keeps the server, user and table for the next time.
    void remember() const;

  private:
    QLineEdit* server_;
    QLineEdit* user_;
    QLineEdit* password_;
    QLineEdit* table_;
};

}  // namespace korvantis::ui

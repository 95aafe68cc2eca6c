#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <string>
#include <string_view>

#include "fleet/clickhouse_client.h"

namespace korvantis::ui {

class MainView;
class WorkerRelay;

// Loads what a query finds on a ClickHouse server into a window, one log
// per host and log, as standard input loads: the rows come on a worker
// thread, each log's load shows in the top bar, and cancelling the loads
// there ends the query too. A failure is told in a message box. Deletes
// itself once done; the window going ends it.
class ClickHouseOpening : public QObject {
    Q_OBJECT
  public:
    static ClickHouseOpening* start(MainView& view, ClickHouseClient client, std::string table,
                                    std::string where);
    // Starts the opening a "clickhouse+http://HOST:PORT/?table=T&where=SQL"
    // address names, as the user and password of KORVANTIS_CLICKHOUSE_USER
    // and KORVANTIS_CLICKHOUSE_PASSWORD; nothing but why not (for standard
    // error) when the address is no such address.
    static std::string startAt(MainView& view, std::string_view address);
    ~ClickHouseOpening() override;

  signals:
    // Every row went (empty), or why not.
    void finished(const QString& error);

  private:
    ClickHouseOpening(MainView& view);
    void stopOnCancelledLoad();
    void end(const QString& error);

    MainView& view_;
    std::shared_ptr<std::atomic<bool>> stop_;
    std::shared_ptr<WorkerRelay> relay_;
    std::size_t outcomesBefore_ = 0;
};

}  // namespace korvantis::ui

#include "ui/window/clickhouse_opening.h"

#include <QMessageBox>

#include <cstdlib>
#include <thread>

#include "fleet/clickhouse_feed.h"
#include "ui/look/clickhouse_texts.h"
#include "ui/look/worker_relay.h"
#include "ui/rows/store_notifier.h"
#include "ui/window/main_view.h"
#include "workspace/workspace.h"

namespace korvantis::ui {

ClickHouseOpening::ClickHouseOpening(MainView& view)
    : QObject(&view),
      view_(view),
      stop_(std::make_shared<std::atomic<bool>>(false)),
      relay_(std::make_shared<WorkerRelay>(this)),
      outcomesBefore_(view.workspace().loader.outcomes().size()) {}

ClickHouseOpening* ClickHouseOpening::start(MainView& view, ClickHouseClient client,
                                            std::string table, std::string where) {
    auto* opening = new ClickHouseOpening(view);
    connect(&view.notifier(), &StoreNotifier::changed, opening,
            [opening](StoreNotifier::Fields fields) {
                if (StoreNotifier::has(fields, StoreField::loadProgress)) {
                    opening->stopOnCancelledLoad();
                }
            });
    client.setStop(opening->stop_.get());  // a cancel ends the request too
    // The worker outlives neither its stop flag nor its relay; it may
    // outlive this object, whose loads it then no longer asks for.
    std::thread([relay = opening->relay_, stop = opening->stop_, client = std::move(client),
                 table = std::move(table), where = std::move(where),
                 opening = QPointer<ClickHouseOpening>(opening)] {
        const FetchResult result = feedLogs(
            client, table, where,
            [&](const std::string& path) {
                relay->post([opening, path] {
                    if (opening) {
                        opening->view_.workspace().loader.loadJsonFile(path);
                    }
                });
            },
            *stop);
        const QString error = QString::fromStdString(result.error);
        relay->post([opening, error] {
            if (opening) {
                opening->end(error);
            }
        });
    }).detach();
    return opening;
}

std::string ClickHouseOpening::startAt(MainView& view, std::string_view address) {
    const ParsedClickHouseUrl parsed = parseClickHouseQueryUrl(address);
    if (!parsed.error.empty()) {
        return parsed.error;
    }
    auto environment = [](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value != nullptr ? value : "");
    };
    start(view,
          ClickHouseClient(parsed.url.serverUrl, environment("KORVANTIS_CLICKHOUSE_USER"),
                           environment("KORVANTIS_CLICKHOUSE_PASSWORD")),
          parsed.url.table, parsed.url.where);
    return {};
}

ClickHouseOpening::~ClickHouseOpening() {
    stop_->store(true);
    relay_->release();
}

void ClickHouseOpening::stopOnCancelledLoad() {
    const auto& outcomes = view_.workspace().loader.outcomes();
    for (std::size_t i = outcomesBefore_; i < outcomes.size(); ++i) {
        if (outcomes[i].cancelled) {
            stop_->store(true);
        }
    }
    outcomesBefore_ = outcomes.size();
}

void ClickHouseOpening::end(const QString& error) {
    // A cancel the user made needs no telling.
    if (!error.isEmpty() && !stop_->load()) {
        auto* box = new QMessageBox(QMessageBox::Warning, openFromClickHouseTitle(),
                                    openFailedText(error), QMessageBox::Ok, &view_);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->show();
    }
    emit finished(stop_->load() ? cancelledText() : error);
    deleteLater();
}

}  // namespace korvantis::ui

// korvantis-inspect's runs against a ClickHouse server.

#include "inspect/clickhouse_runs.h"

#include <cstdlib>
#include <iostream>

#include "fleet/clickhouse_feed.h"
#include "fleet/fleet_send.h"
#include "fleet/log_send.h"
#include "load/task_queue.h"
#include "workspace/workspace.h"

namespace korvantis {

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

ClickHouseClient clientFor(const std::string& url) {
    return ClickHouseClient(url, environment("KORVANTIS_CLICKHOUSE_USER"),
                            environment("KORVANTIS_CLICKHOUSE_PASSWORD"));
}

}  // namespace

int sendToClickHouse(const InspectOptions& options, std::shared_ptr<const RuleSet> rules) {
    const ClickHouseClient client = clientFor(*options.toClickHouse);
    const std::string table = options.table.value_or("korvantis_events");
    if (const SendResult created = createEventTable(client, table); !created.ok()) {
        std::cerr << "korvantis-inspect: cannot create table " << table << " on " << client.url()
                  << ": " << created.error << "\n";
        return 1;
    }
    for (const std::string& path : options.logs) {
        const LogToSend log{path, options.host.value_or(defaultHostOf(path)), rules};
        const LogSendResult result =
            sendLog(client, table, log, [&](std::uint64_t acknowledged, std::uint64_t total) {
                std::cerr << "korvantis-inspect: " << path << ": " << acknowledged << " of "
                          << total << " lines sent\n";
            });
        if (!result.ok()) {
            std::cerr << "korvantis-inspect: sending " << path << " to " << client.url()
                      << " failed: " << result.error << "\n"
                      << "korvantis-inspect: " << result.acknowledged << " of " << result.total
                      << " lines of " << path << " were sent\n";
            return 1;
        }
    }
    return 0;
}

ClickHouseFeedRun::~ClickHouseFeedRun() {
    if (thread_.joinable()) {
        stop_.store(true);
        thread_.join();
    }
}

void ClickHouseFeedRun::start(const InspectOptions& options, Workspace& workspace,
                              TaskQueue& tasks) {
    url_ = *options.fromClickHouse;
    thread_ = std::thread([this, &workspace, &tasks, client = clientFor(url_),
                           table = *options.table, where = *options.where] {
        const FetchResult result = feedLogs(
            client, table, where,
            [&](const std::string& path) {
                tasks.post([this, &workspace, path] {
                    workspace.loader.loadJsonFile(path);
                    ++started_;
                });
            },
            stop_);
        tasks.post([this, error = result.error] {
            error_ = error;
            ended_ = true;
        });
    });
}

bool ClickHouseFeedRun::finish() {
    if (!thread_.joinable()) {
        return true;
    }
    thread_.join();
    if (!error_.empty()) {
        std::cerr << "korvantis-inspect: reading from " << url_ << " failed: " << error_ << "\n";
        return false;
    }
    return true;
}

}  // namespace korvantis

#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "inspect/inspect_options.h"

namespace korvantis {

class RuleSet;
class TaskQueue;
struct Workspace;

// --to-clickhouse: loads each log as the viewer does and sends its rows,
// with progress on standard error; 0 when every row of every log was
// acknowledged, else 1 after saying what the server said and how many rows
// of which log went. With `rules`, each row's hits fill `rules` and `level`.
int sendToClickHouse(const InspectOptions& options, std::shared_ptr<const RuleSet> rules);

// --from-clickhouse: what the query finds, handed to the loader as it comes,
// one log per host and log through a named pipe "HOST: LOG (ClickHouse)"
// (see feedLogs), so that the server's answer and the load overlap. Every
// call but the feed's own runs on the store's thread, which posts the
// feed's loads to the loader.
class ClickHouseFeedRun {
  public:
    ClickHouseFeedRun() = default;
    ~ClickHouseFeedRun();
    ClickHouseFeedRun(const ClickHouseFeedRun&) = delete;
    ClickHouseFeedRun& operator=(const ClickHouseFeedRun&) = delete;

    void start(const InspectOptions& options, Workspace& workspace, TaskQueue& tasks);
    // Whether the feed has ended (or never started), and the logs it
    // handed to the loader so far.
    bool ended() const { return !thread_.joinable() || ended_; }
    std::size_t logsStarted() const { return started_; }
    // Once ended: false, said on standard error, when the rows did not all
    // come.
    bool finish();

  private:
    std::string url_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::size_t started_ = 0;
    bool ended_ = false;
    std::string error_;
};

}  // namespace korvantis

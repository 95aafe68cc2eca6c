#pragma once

#include <memory>
#include <string>
#include <vector>

#include "inspect/inspect_options.h"

namespace korvantis {

class RuleSet;

// --to-clickhouse: loads each log as the viewer does and sends its rows,
// with progress on standard error; 0 when every row of every log was
// acknowledged, else 1 after saying what the server said and how many rows
// of which log went. With `rules`, each row's hits fill `rules` and `level`.
int sendToClickHouse(const InspectOptions& options, std::shared_ptr<const RuleSet> rules);

// The logs --from-clickhouse received, each in an owner-only file named
// "HOST: LOG (ClickHouse)" in a folder of its own, removed with this.
class ReceivedLogs {
  public:
    ReceivedLogs() = default;
    ~ReceivedLogs();
    ReceivedLogs(const ReceivedLogs&) = delete;
    ReceivedLogs& operator=(const ReceivedLogs&) = delete;

    // Reads the rows the options ask for; false (said on standard error)
    // when the server or the folder failed.
    bool fetch(const InspectOptions& options);
    const std::vector<std::string>& paths() const { return paths_; }

  private:
    std::string folder_;
    std::vector<std::string> paths_;
};

}  // namespace korvantis

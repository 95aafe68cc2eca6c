// Loading one log and sending its lines.

#include "fleet/log_send.h"

#include "load/task_queue.h"
#include "rules/event_fields.h"
#include "rules/lineage.h"
#include "store/line_ref.h"
#include "workspace/workspace.h"

namespace korvantis {

namespace {

// The log's identity: the bytes of its lines and a checksum of their
// checksums in order, so the same log sent again has the same one.
std::string logIdentity(const EventStore& store) {
    std::uint64_t bytes = 0;
    std::uint64_t sum = 0x9e3779b97f4a7c15ULL;
    const auto& refs = store.lineRefs();
    for (std::size_t i = 0; i < refs.size(); ++i) {
        const LineRef ref = refs.ref(LinePlace(i));
        bytes += ref.length + 1;
        sum = (sum ^ ref.checksum) * 0x100000001b3ULL;
        sum ^= sum >> 29;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%llu-%016llx", static_cast<unsigned long long>(bytes),
                  static_cast<unsigned long long>(sum));
    return text;
}

std::string fileNameOf(const std::string& path) {
    if (path == "-") {
        return "standard input";
    }
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Whether a line is an eslogger message (the viewer's own records have no
// event_type).
bool isEslogger(std::string_view raw) {
    return raw.find("\"event_type\":") != std::string_view::npos;
}

// The row at a stored line, if the line is one, with how its run ended.
std::optional<RowView> rowAt(const EventStore& store, LinePlace at) {
    const std::optional<EventStore::RowPlace> place = store.rowAt(at);
    if (!place) {
        return std::nullopt;
    }
    return store.row(place->kind, place->index.value());
}

// The parent each row's rules see, told line by line as the load does: the
// image last told for the parent's pid and the command line of its last exec.
class ParentOfRows {
  public:
    void take(SentRow& sent) {
        const RowView& row = sent.row;
        image_.clear();
        commandLine_.clear();
        if (sent.isRow && row.kind == RowKind::process) {
            image_ = lineage_.image(row.ppid);
            commandLine_ = lineage_.commandLine(row.ppid);
        }
        sent.parentImage = image_;
        sent.parentCommandLine = commandLine_;
        if (!sent.isRow) {
            return;
        }
        const std::string_view image =
            row.kind == RowKind::process ? row.path : row.facts[Fact::process_path];
        if (!image.empty()) {
            lineage_.tellImage(row.pid, image);
        }
        // An eslogger fork is told by the parent, whose image the child
        // still runs: the rules learn the parent's image from it.
        if (row.kind == RowKind::process && row.type == "ES_EVENT_TYPE_NOTIFY_FORK" &&
            row.ppid != row.pid && !row.path.empty() && isEslogger(sent.raw)) {
            lineage_.tellImage(row.ppid, row.path);
        }
        if (row.kind == RowKind::process && row.type == "ES_EVENT_TYPE_NOTIFY_EXEC") {
            lineage_.exec(row.pid, sent.commandLine);
        } else if (row.kind == RowKind::process && row.type == "ES_EVENT_TYPE_NOTIFY_FORK") {
            lineage_.fork(row.pid);
        }
    }

  private:
    Lineage lineage_;
    std::string image_;
    std::string commandLine_;
};

}  // namespace

std::string defaultHostOf(const std::string& path) {
    const std::string name = fileNameOf(path);
    return name.substr(0, name.find('.'));
}

LogSendResult sendLog(const ClickHouseClient& client, const std::string& table,
                      const LogToSend& log, const LogSendProgress& progress,
                      const std::atomic<bool>* stop) {
    LogSendResult result;
    TaskQueue tasks;
    Workspace workspace(tasks.poster());
    workspace.loader.setTreeFactsWanted(false);
    workspace.loader.setRules(log.rules);
    workspace.loader.loadJsonFile(log.path);
    tasks.runUntil([&] { return !workspace.loader.outcomes().empty(); });
    const LoadOutcome& outcome = workspace.loader.outcomes().front();
    if (!outcome.opened) {
        result.error =
            outcome.openFailure.empty() ? "cannot open " + log.path : outcome.openFailure;
        return result;
    }
    const EventStore& store = workspace.store;
    const std::string name = fileNameOf(log.path);
    const std::string logId = logIdentity(store);
    result.total = store.lineRefs().size();
    LogFiles::AheadReader lines(store.logFiles());
    ParentOfRows parents;
    std::string failure;
    std::string commandLine;
    std::size_t place = 0;
    const SentRowSource next = [&](SentRow& row) {
        if (!failure.empty() || place == store.lineRefs().size()) {
            return false;
        }
        if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
            failure = "cancelled";
            return false;
        }
        const LinePlace at(place++);
        const ReadBack<std::string_view> line = lines.read(store.lineRefs().ref(at));
        if (!line) {
            failure = readFailureText(line.failure);
            return false;
        }
        const std::optional<RowView> view = rowAt(store, at);
        row = SentRow{log.host,
                      name,
                      logId,
                      store.lineNumberOf(at).value(),
                      view.value_or(RowView{}),
                      *line,
                      view.has_value()};
        row.commandLine = row.row.facts[Fact::args];
        // An eslogger exec's rules see its args joined by blanks, whole.
        if (row.isRow && row.row.kind == RowKind::process &&
            row.row.type == "ES_EVENT_TYPE_NOTIFY_EXEC" && isEslogger(row.raw)) {
            const std::optional<std::string> whole = ruleCommandLine(row.raw);
            commandLine = whole.value_or(std::string());
            row.commandLine = commandLine;
        }
        parents.take(row);
        return true;
    };
    const SendResult sent = sendRows(client, table, next, [&](std::uint64_t acknowledged) {
        if (progress) {
            progress(acknowledged, result.total);
        }
    });
    result.acknowledged = sent.acknowledged;
    result.error = sent.ok() ? failure : sent.error;
    return result;
}

}  // namespace korvantis

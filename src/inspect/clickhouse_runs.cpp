// korvantis-inspect's runs against a ClickHouse server.

#include "inspect/clickhouse_runs.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "fleet/fleet_fetch.h"
#include "fleet/fleet_send.h"
#include "inspect/store_rows.h"
#include "load/task_queue.h"
#include "store/line_ref.h"
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

std::string fileName(const std::string& path) {
    if (path == "-") {
        return "standard input";
    }
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

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

// Sends one log; false after saying why.
bool sendLog(const ClickHouseClient& client, const std::string& table, const std::string& path,
             const std::optional<std::string>& hostOption) {
    TaskQueue tasks;
    Workspace workspace(tasks.poster());
    workspace.loader.setTreeFactsWanted(false);
    workspace.loader.loadJsonFile(path);
    tasks.runUntil([&] { return !workspace.loader.outcomes().empty(); });
    const LoadOutcome& outcome = workspace.loader.outcomes().front();
    if (!outcome.opened) {
        std::cerr << "korvantis-inspect: cannot open " << path << "\n";
        return false;
    }
    const std::string log = fileName(path);
    const std::string host = hostOption ? *hostOption : log.substr(0, log.find('.'));
    const std::string logId = logIdentity(workspace.store);
    const EventStore& store = workspace.store;
    ReadBack<std::string_view> otherLine;
    // Every stored line goes, rows with what the viewer derived of them and
    // the lines that are no row (an exit folded into its process's run) with
    // their line alone, so the log read back builds what this one built.
    StoreRowCursor cursor(store);
    LogFiles::AheadReader lines(store.logFiles());
    std::string readFailure;
    ExportRow exported;
    bool rowPending = cursor.next(exported);
    bool rowTaken = false;  // the cursor's row was sent: step on before the next line
    std::size_t place = 0;
    const SentRowSource next = [&](SentRow& row) {
        if (rowTaken) {
            rowPending = cursor.next(exported);
            rowTaken = false;
        }
        if (!readFailure.empty() || place == store.lineRefs().size()) {
            return false;
        }
        const LinePlace at(place++);
        const bool isRow = rowPending && cursor.entry() == at;
        const ReadBack<std::string_view>& line =
            isRow ? cursor.rawLine() : (otherLine = lines.read(store.lineRefs().ref(at)));
        if (!line) {
            readFailure = readFailureText(line.failure);
            return false;
        }
        row = SentRow{
            host,  log,  logId, store.lineNumberOf(at).value(), isRow ? exported.row : RowView{},
            *line, isRow};
        rowTaken = isRow;
        return true;
    };
    const std::uint64_t total = store.lineRefs().size();
    const SendProgress progress = [&](std::uint64_t acknowledged) {
        std::cerr << "korvantis-inspect: " << log << ": " << acknowledged << " of " << total
                  << " lines sent\n";
    };
    const SendResult result = sendRows(client, table, next, progress);
    if (!result.ok() || !readFailure.empty()) {
        std::cerr << "korvantis-inspect: sending " << path << " to " << client.url()
                  << " failed: " << (result.ok() ? readFailure : result.error) << "\n"
                  << "korvantis-inspect: " << result.acknowledged << " of " << total << " lines of "
                  << path << " were sent\n";
        return false;
    }
    return true;
}

}  // namespace

int sendToClickHouse(const InspectOptions& options) {
    const ClickHouseClient client = clientFor(*options.toClickHouse);
    const std::string table = options.table.value_or("korvantis_events");
    if (const SendResult created = createEventTable(client, table); !created.ok()) {
        std::cerr << "korvantis-inspect: cannot create table " << table << " on " << client.url()
                  << ": " << created.error << "\n";
        return 1;
    }
    for (const std::string& log : options.logs) {
        if (!sendLog(client, table, log, options.host)) {
            return 1;
        }
    }
    return 0;
}

ReceivedLogs::~ReceivedLogs() {
    for (const std::string& path : paths_) {
        ::unlink(path.c_str());
    }
    if (!folder_.empty()) {
        ::rmdir(folder_.c_str());
    }
}

bool ReceivedLogs::fetch(const InspectOptions& options) {
    const std::string tmp = environment("TMPDIR");
    std::string folder = (tmp.empty() ? "/tmp" : tmp) + "/korvantis-clickhouse-XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr) {  // owner-only
        std::cerr << "korvantis-inspect: cannot make a folder for the received logs: "
                  << std::strerror(errno) << "\n";
        return false;
    }
    folder_ = folder;
    int fd = -1;
    std::string buffer;
    std::string failure;
    auto flush = [&] {
        std::size_t done = 0;
        while (done < buffer.size()) {
            const ssize_t n = ::write(fd, buffer.data() + done, buffer.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                failure = "cannot write " + paths_.back() + ": " + std::strerror(errno);
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        buffer.clear();
        return true;
    };
    auto close = [&] {
        const bool flushed = fd < 0 || flush();
        if (fd >= 0) {
            ::close(fd);
        }
        fd = -1;
        return flushed;
    };
    FetchSinks sinks;
    sinks.log = [&](std::string_view host, std::string_view log) {
        if (!close()) {
            return false;
        }
        std::string name = std::string(host) + ": " + std::string(log) + " (ClickHouse)";
        for (char& c : name) {
            c = c == '/' || c == '\0' ? '_' : c;
        }
        std::string path = folder_ + "/" + name;
        for (int n = 2;
             (fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600)) < 0 &&
             errno == EEXIST;
             ++n) {
            path = folder_ + "/" + name + " " + std::to_string(n);
        }
        if (fd < 0) {
            failure = "cannot make " + path + ": " + std::strerror(errno);
            return false;
        }
        paths_.push_back(path);
        return true;
    };
    sinks.line = [&](std::string_view raw) {
        buffer.append(raw);
        buffer.push_back('\n');
        return buffer.size() < (1 << 20) || flush();
    };
    const FetchResult result =
        fetchLogs(clientFor(*options.fromClickHouse), *options.table, *options.where, sinks);
    const bool closed = close();
    if (!failure.empty() || !closed) {
        std::cerr << "korvantis-inspect: " << failure << "\n";
        return false;
    }
    if (!result.ok()) {
        std::cerr << "korvantis-inspect: reading from " << *options.fromClickHouse
                  << " failed: " << result.error << "\n";
        return false;
    }
    return true;
}

}  // namespace korvantis

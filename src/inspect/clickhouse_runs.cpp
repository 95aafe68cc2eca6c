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
#include "fleet/log_send.h"

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

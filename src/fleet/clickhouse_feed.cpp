// Feeding received rows to a loader through named pipes.

#include "fleet/clickhouse_feed.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace korvantis {

namespace {

std::string percentDecoded(std::string_view text) {
    auto hex = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                      : -1;
    };
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() + 0 && hex(text[i + 1]) >= 0 &&
            hex(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

}  // namespace

ParsedClickHouseUrl parseClickHouseQueryUrl(std::string_view text) {
    ParsedClickHouseUrl parsed;
    if (!text.starts_with(kClickHouseUrlScheme)) {
        parsed.error = "not a clickhouse+http:// address";
        return parsed;
    }
    text.remove_prefix(kClickHouseUrlScheme.size());
    if (!text.starts_with("http://") && !text.starts_with("https://")) {
        parsed.error = "not a clickhouse+http:// address";
        return parsed;
    }
    const std::size_t question = text.find('?');
    std::string server(text.substr(0, question));
    std::string kept;
    bool hasTable = false;
    bool hasWhere = false;
    std::string_view query = question == std::string_view::npos ? "" : text.substr(question + 1);
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? "" : query.substr(amp + 1);
        const std::size_t eq = pair.find('=');
        const std::string_view name = pair.substr(0, eq);
        const std::string value =
            eq == std::string_view::npos ? "" : percentDecoded(pair.substr(eq + 1));
        if (name == "table") {
            parsed.url.table = value;
            hasTable = true;
        } else if (name == "where") {
            parsed.url.where = value;
            hasWhere = true;
        } else if (!pair.empty()) {
            kept += kept.empty() ? "" : "&";
            kept += pair;
        }
    }
    if (!hasTable || !validTableName(parsed.url.table)) {
        parsed.error = "the address needs table=NAME, a table name";
    } else if (!hasWhere || parsed.url.where.empty()) {
        parsed.error = "the address needs where=SQL, a condition";
    }
    parsed.url.serverUrl = kept.empty() ? server : server + "?" + kept;
    return parsed;
}

namespace {

// The pipes of one feed and the one being written.
class PipeFeed {
  public:
    PipeFeed(const std::function<void(const std::string&)>& load, const std::atomic<bool>& stop)
        : load_(load), stop_(stop) {}
    ~PipeFeed() {
        close();
        if (!folder_.empty()) {
            ::rmdir(folder_.c_str());
        }
    }

    bool makeFolder() {
        const char* tmp = std::getenv("TMPDIR");
        std::string folder =
            std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/korvantis-feed-XXXXXX";
        if (::mkdtemp(folder.data()) == nullptr) {  // owner-only
            failure =
                std::string("cannot make a folder for the received logs: ") + std::strerror(errno);
            return false;
        }
        folder_ = folder;
        return true;
    }

    bool startLog(std::string_view host, std::string_view log) {
        if (!close()) {
            return false;
        }
        std::string name = std::string(host) + ": " + std::string(log) + " (ClickHouse)";
        for (char& c : name) {
            c = c == '/' || c == '\0' ? '_' : c;
        }
        path_ = folder_ + "/" + name;
        for (int n = 2; ::mkfifo(path_.c_str(), 0600) != 0; ++n) {
            if (errno != EEXIST) {
                failure = "cannot make " + path_ + ": " + std::strerror(errno);
                return false;
            }
            path_ = folder_ + "/" + name + " " + std::to_string(n);
        }
        load_(path_);
        // The loader opens it when its turn comes, after the loads before it.
        while ((fd_ = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0) {
            if (errno != ENXIO && errno != EINTR) {
                failure = "cannot open " + path_ + ": " + std::strerror(errno);
                return false;
            }
            if (stop_.load()) {
                failure = "cancelled";
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        const int flags = ::fcntl(fd_, F_GETFL);
        ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
        return true;
    }

    bool line(std::string_view raw) {
        buffer_.append(raw);
        buffer_.push_back('\n');
        return buffer_.size() < (1 << 20) || flush();
    }

    // Ends the pipe being written; false when its last bytes could not go.
    bool close() {
        const bool flushed = fd_ < 0 || flush();
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
        if (!path_.empty()) {
            ::unlink(path_.c_str());  // the loader holds it open
            path_.clear();
        }
        return flushed;
    }

    std::string failure;

  private:
    bool flush() {
        std::size_t done = 0;
        while (done < buffer_.size()) {
            if (stop_.load()) {
                failure = "cancelled";
                return false;
            }
            const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                failure = errno == EPIPE ? std::string("the load was cancelled")
                                         : "cannot write " + path_ + ": " + std::strerror(errno);
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        buffer_.clear();
        return true;
    }

    const std::function<void(const std::string&)>& load_;
    const std::atomic<bool>& stop_;
    std::string folder_;
    std::string path_;
    int fd_ = -1;
    std::string buffer_;
};

// A loader that stops reading makes writes fail with EPIPE on this thread
// instead of ending the program.
class NoPipeSignal {
  public:
    NoPipeSignal() {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, &old_);
    }
    ~NoPipeSignal() {
        // A SIGPIPE raised meanwhile is taken before the mask goes back.
        sigset_t pending;
        sigpending(&pending);
        if (sigismember(&pending, SIGPIPE) == 1) {
            sigset_t pipe;
            sigemptyset(&pipe);
            sigaddset(&pipe, SIGPIPE);
            int taken = 0;
            sigwait(&pipe, &taken);
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }

  private:
    sigset_t old_;
};

}  // namespace

FetchResult feedLogs(const ClickHouseClient& client, std::string_view table, std::string_view where,
                     const std::function<void(const std::string&)>& load,
                     const std::atomic<bool>& stop) {
    const NoPipeSignal noPipeSignal;
    FetchResult result;
    PipeFeed feed(load, stop);
    if (!feed.makeFolder()) {
        result.error = feed.failure;
        return result;
    }
    FetchSinks sinks;
    sinks.log = [&](std::string_view host, std::string_view log) {
        return feed.startLog(host, log);
    };
    sinks.line = [&](std::string_view raw) { return !stop.load() && feed.line(raw); };
    result = fetchLogs(client, table, where, sinks);
    const bool closed = feed.close();
    if (!feed.failure.empty() || !closed || stop.load()) {
        result.error = feed.failure.empty() ? std::string("cancelled") : feed.failure;
    }
    return result;
}

}  // namespace korvantis

#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>

namespace korvantis {

// What a request to a ClickHouse server came back with.
struct ClickHouseReply {
    bool ok = false;    // the server answered 200
    long status = 0;    // the HTTP status, 0 when none came
    std::string error;  // when not ok: the server's own text, or why no answer came
    std::string body;   // the answer, unless a sink took it
};

// Requests to the HTTP interface of one ClickHouse server, over libcurl. The
// URL is `http://HOST:PORT/` with optional parameters (`?database=NAME`);
// the user and password go as HTTP basic authentication, never in the URL.
class ClickHouseClient {
  public:
    // Takes each piece of the answer as it comes; false stops the transfer.
    using Sink = std::function<bool(std::string_view)>;

    ClickHouseClient(std::string url, std::string user, std::string password);

    // Runs `query` with `body` as the data that follows it (an INSERT's
    // rows), adding `settings` ("name=value&...") to the URL. A refused
    // connection is tried again with a growing pause before giving up; any
    // other failure is not, since the server may have taken part of it.
    ClickHouseReply post(std::string_view query, std::string_view body,
                         std::string_view settings = {}, const Sink& sink = {}) const;

    const std::string& url() const { return url_; }
    // Once `*stop` is set, a request on its way ends at once, as "cancelled";
    // the flag must outlive every copy of this client that requests.
    void setStop(const std::atomic<bool>* stop) { stop_ = stop; }

  private:
    std::string url_;
    std::string user_;
    std::string password_;
    const std::atomic<bool>* stop_ = nullptr;
};

// Whether `name` can be a table name as given: [A-Za-z_][A-Za-z0-9_.]*.
bool validTableName(std::string_view name);

}  // namespace korvantis

// Reading rows back from ClickHouse.

#include "fleet/fleet_fetch.h"

#include <array>
#include <vector>

namespace korvantis {

std::string fetchSql(std::string_view table, std::string_view where) {
    // The condition is the user's own, on their own server; the request is
    // made read-only, so it cannot write whatever it holds.
    return "SELECT host, log, log_id, line, raw FROM " + std::string(table) + " WHERE (" +
           std::string(where) + "\n) ORDER BY host, log, log_id, line FORMAT TabSeparated";
}

std::string unescapeTabSeparated(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
            out.push_back(field[i]);
            continue;
        }
        const char c = field[++i];
        switch (c) {
            case 'n':
                out.push_back('\n');
                break;
            case 't':
                out.push_back('\t');
                break;
            case 'r':
                out.push_back('\r');
                break;
            case 'b':
                out.push_back('\b');
                break;
            case 'f':
                out.push_back('\f');
                break;
            case '0':
                out.push_back('\0');
                break;
            case 'a':
                out.push_back('\a');
                break;
            case 'v':
                out.push_back('\v');
                break;
            default:
                out.push_back(c);
                break;  // \\ \' and the like
        }
    }
    return out;
}

namespace {

// Splits the answer into records and records into fields as it comes.
class TabSeparatedRows {
  public:
    explicit TabSeparatedRows(const FetchSinks& sinks) : sinks_(sinks) {}

    bool take(std::string_view piece) {
        pending_.append(piece);
        std::size_t start = 0;
        for (std::size_t end; (end = pending_.find('\n', start)) != std::string::npos;
             start = end + 1) {
            if (!record(std::string_view(pending_).substr(start, end - start))) {
                return false;
            }
        }
        pending_.erase(0, start);
        return true;
    }

    std::uint64_t rows() const { return rows_; }
    std::string error;

  private:
    bool record(std::string_view text) {
        std::array<std::string_view, 5> fields;
        std::size_t at = 0;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const std::size_t tab = i + 1 < fields.size() ? text.find('\t', at) : text.size();
            if (tab == std::string_view::npos) {
                error = "the server's answer has a record of too few fields";
                return false;
            }
            fields[i] = text.substr(at, tab - at);
            at = tab + 1;
        }
        std::string key =
            std::string(fields[0]) + '\t' + std::string(fields[1]) + '\t' + std::string(fields[2]);
        if (key == key_ && fields[3] == line_) {
            return true;  // sent twice, not merged yet
        }
        if (key != key_) {
            key_ = std::move(key);
            if (!sinks_.log(unescapeTabSeparated(fields[0]), unescapeTabSeparated(fields[1]))) {
                return false;
            }
        }
        line_.assign(fields[3]);
        ++rows_;
        return sinks_.line(unescapeTabSeparated(fields[4]));
    }

    const FetchSinks& sinks_;
    std::string pending_;
    std::string key_ = "\n";  // no log yet
    std::string line_;
    std::uint64_t rows_ = 0;
};

}  // namespace

FetchResult fetchLogs(const ClickHouseClient& client, std::string_view table,
                      std::string_view where, const FetchSinks& sinks) {
    FetchResult result;
    TabSeparatedRows rows(sinks);
    const ClickHouseReply reply =
        client.post(fetchSql(table, where), {}, "readonly=1",
                    [&rows](std::string_view piece) { return rows.take(piece); });
    result.rows = rows.rows();
    if (!rows.error.empty()) {
        result.error = rows.error;
    } else if (!reply.ok) {
        result.error = reply.error;
    }
    return result;
}

FetchResult countRows(const ClickHouseClient& client, std::string_view table,
                      std::string_view where) {
    FetchResult result;
    const ClickHouseReply reply =
        client.post("SELECT uniqExact(host, log_id, line) FROM " + std::string(table) + " WHERE (" +
                        std::string(where) + "\n)",
                    {}, "readonly=1");
    if (!reply.ok) {
        result.error = reply.error;
        return result;
    }
    result.rows = std::stoull("0" + reply.body);
    return result;
}

}  // namespace korvantis

#pragma once

// Log lines as the tests write them: one Endpoint Security notification per
// line, the texts put in as they stand (escape them yourself when needed).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvantis::testsupport {

// A process event ("ES_EVENT_TYPE_NOTIFY_EXEC" or "..._FORK", or any other name).
inline std::string procLine(std::string_view event, std::int64_t pid, std::int64_t ppid,
                            std::string_view path, std::string_view timestamp = "t") {
    return R"({"event":")" + std::string(event) + R"(","timestamp":")" + std::string(timestamp) +
           R"(","process":{"pid":)" + std::to_string(pid) + R"(,"ppid":)" + std::to_string(ppid) +
           R"(,"path":")" + std::string(path) + R"("}})";
}

// A file event done by launchd to `destination`, on behalf of `pid`.
inline std::string fileLine(std::string_view event, std::int64_t pid, std::string_view destination,
                            std::string_view timestamp = "t") {
    return R"({"event":")" + std::string(event) + R"(","timestamp":")" + std::string(timestamp) +
           R"(","process":{"pid":1,"ppid":0,"path":"/sbin/launchd"},"file":{"pid":)" +
           std::to_string(pid) + R"(,"destination":")" + std::string(destination) + R"("}})";
}

// The lines as a log holds them, each with its line feed.
inline std::string joinedLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

}  // namespace korvantis::testsupport

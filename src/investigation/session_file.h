#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "investigation/mark_book.h"

namespace korvantis {

// What a session file holds (its form is in docs/session-format.md).
struct Session {
    std::vector<std::string> logs;  // the session's own logs, real paths, in order
    MarkBook marks;
    // The window's state (highlight rules, filter, sort, columns, time
    // display, chosen row) as the JSON object text it was read as, kept
    // whole for the window; empty when there is none. The command line
    // only carries it over.
    std::string view;
};

struct SessionRead {
    std::optional<Session> session;
    std::string error;     // otherwise, what is wrong, naming the file or the member
    bool missing = false;  // the file is not there at all
};

// The largest session file read, in bytes.
inline constexpr std::size_t kMaxSessionBytes = 256u << 20;

// Reads the session file at `file`. Anything wrong (a newer version, a
// damaged or hostile file: wrong types, too many entries, notes over
// 64 KiB, invalid UTF-8, duplicate keys, log paths that climb out of the
// session's folder) gives no session and the reason.
SessionRead readSession(const std::string& file);
// The same of a file's text, its relative log paths taken from `folder`.
SessionRead parseSession(std::string_view text, const std::string& folder);

// The session as a file's text, naming the logs beside or below `folder`
// relative to it; nothing (and `error` set) when a log's path is not valid
// UTF-8 and so cannot be written.
std::optional<std::string> sessionText(const Session& session, const std::string& folder,
                                       std::string& error);
// Writes the session to `file` in one step (a new file beside it, flushed
// to disk and renamed over it): on failure the old file stays as it was.
// Empty on success, else the reason naming the file.
std::string writeSession(const std::string& file, const Session& session);

// The real path of the folder `file` is (or would be) in, empty when it
// cannot be resolved.
std::string sessionFolder(const std::string& file);

}  // namespace korvantis

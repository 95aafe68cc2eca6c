#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/line_ref.h"

namespace korvantis {

class LogText;

// Why a line could not be read again from its log.
struct ReadFailure {
    enum class Kind : std::uint8_t {
        none,
        changed,      // its bytes are not those that were loaded
        notKeptOpen,  // the log could not be kept open after loading
        readFailed,   // reading failed
    };
    Kind kind = Kind::none;
    int error = 0;  // the system's error number, for the last two
};

// A line read again, or nothing and why.
template <typename Text>
struct ReadBack : std::optional<Text> {
    using std::optional<Text>::optional;
    ReadFailure failure;
};
using LineRead = ReadBack<std::string>;

// What is shown in place of a line that could not be read again.
std::string readFailureText(const ReadFailure& failure);

// The logs a store has loaded, each kept open so that its lines can be read
// again when they are needed (the detail text, a search in raw lines, an
// export) instead of being kept in memory. A log deleted or renamed after
// loading still reads through its open descriptor. Safe to use from any
// thread.
class LogFiles {
  public:
    LogFiles() = default;
    ~LogFiles();
    LogFiles(const LogFiles&) = delete;
    LogFiles& operator=(const LogFiles&) = delete;

    // Lets this process keep as many files open as the system allows it
    // (the soft limit raised to the hard one): each loaded log stays open.
    static void raiseOpenFileLimit();

    // Keeps `fd` (owned from now on) as the next log; returns its index.
    // With -1, the log could not be kept open, for the reason `openError`.
    // A log's lines are read from `text` when there is one (a compressed or
    // received log).
    std::uint32_t add(int fd, std::string path, int openError = 0,
                      std::shared_ptr<const LogText> text = nullptr);
    std::size_t size() const;
    // Where a compressed or received log's text is read from (nothing for a
    // plain one).
    std::shared_ptr<const LogText> text(std::uint32_t log) const;
    // The open descriptor of a plain log (read with positioned reads only),
    // or -1 for one read through a text or not kept open.
    int descriptor(std::uint32_t log) const;
    // The path it was loaded from, and its last component.
    std::string path(std::uint32_t log) const;
    std::string fileName(std::uint32_t log) const;

    // The line's bytes, or nothing when they cannot be read any more or are
    // not those that were loaded (the log was changed in place), and why.
    LineRead read(const LineRef& ref) const;

    // Reads many lines in the order they stand in their logs, a large block
    // at a time instead of one read per line.
    class AheadReader {
      public:
        explicit AheadReader(const LogFiles& files) : files_(files) {}
        // The line's bytes (valid until the next call), or nothing as read().
        ReadBack<std::string_view> read(const LineRef& ref);

      private:
        const LogFiles& files_;
        std::string block_;
        std::uint32_t log_ = 0;
        std::uint64_t start_ = 0;   // of block_ in its log
        ReadFailure blockFailure_;  // why block_ is short
    };

  private:
    // Up to `size` bytes of a log's text from `offset` (fewer at its end), or
    // -1 and why.
    ssize_t readText(std::uint32_t log, char* into, std::size_t size, std::uint64_t offset,
                     ReadFailure& failure) const;

    struct Log {
        int fd;
        std::string path;
        int openError;
        std::shared_ptr<const LogText> text;
    };
    mutable std::mutex mutex_;
    std::vector<Log> logs_;
};

// The name a log loaded from `path` is shown by: its file's name, or
// "standard input".
std::string logName(std::string_view path);

// The detail text shown for a line whose log changed after loading.
inline constexpr std::string_view kLogChangedText =
    "The log file changed on disk after it was loaded; this event's text is no longer "
    "available.";

}  // namespace korvantis

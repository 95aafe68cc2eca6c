#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/chunked_vector.h"
#include "store/line_ref.h"
#include "store/text_arena.h"

namespace korvantis {

class LogFiles;

// Where a load error came from: the log and the line's number in it (from 1;
// 0 for an error about the whole log).
struct LoadErrorOrigin {
    std::uint32_t log = 0;
    std::uint64_t line = 0;
    bool operator==(const LoadErrorOrigin&) const = default;
};

// The load errors of a store, in the order they were found. A log of blank
// or broken lines can make tens of millions of them, so they are kept the
// way rows are: a line that could not be used is kept as a reference to its
// place in its log and read back when its text is shown; only messages (a
// record that lacks its file, a log that could not be opened) are kept as
// text. Each error takes a few bytes: the errors are packed one after the
// other, each relative to the one before, and every kAnchorEvery-th records
// where it starts so that any error is found in a few steps.
class LoadErrors {
  public:
    // The log of an error about a file that is not among the loaded logs.
    static constexpr std::uint32_t kNamedLog = std::numeric_limits<std::uint32_t>::max();

    struct Entry {
        LoadErrorOrigin origin;
        bool isLine = false;      // the text is the line at `ref`, else a message
        LineRef ref;              // for a line
        std::size_t message = 0;  // for a message: its index among the messages
    };

    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }

    // A line that could not be used; its text is the line itself.
    void addLine(LoadErrorOrigin origin, const LineRef& ref);
    // A message about a line of a loaded log, or about the whole log (line 0).
    void addMessage(LoadErrorOrigin origin, std::string_view text);
    // A message about a file that is not among the loaded logs (one that
    // could not be opened): `name` is shown as its origin.
    void addNamedMessage(std::string_view name, std::string_view text);

    Entry entry(std::size_t i) const;
    LoadErrorOrigin origin(std::size_t i) const { return entry(i).origin; }
    // The text of error `i`: a line read back from its log (invalid UTF-8
    // made valid), or why it cannot be; a message as it was given.
    std::string text(std::size_t i, const LogFiles& logs) const;
    std::string message(std::size_t index) const;
    // The name its origin is shown with: the log's file name, or the name
    // an error about a file that is not loaded was given.
    std::string originName(std::size_t i, const LogFiles& logs) const;

    // Every error in order, decoded one after the other rather than each
    // from its anchor: f(index, entry).
    template <typename F>
    void forEach(F&& f) const {
        if (count_ == 0) {
            return;
        }
        Cursor cursor(*this, 0);
        for (std::size_t i = 0; i < count_; ++i) {
            f(i, cursor.next());
        }
    }

    // Every error's text in order, as text() gives it, the logs read ahead
    // in blocks: f(index, text), the text valid during the call.
    void forEachText(const LogFiles& logs,
                     const std::function<void(std::size_t, std::string_view)>& f) const;

    // Bytes this holds, less the room its texts' blocks keep spare.
    std::size_t bytesUsed() const;

  private:
    // What the decoding of the next error starts from.
    struct State {
        std::uint64_t at = 0;          // in bytes_
        std::uint64_t line = 0;        // of the error before
        std::uint64_t nextOffset = 0;  // just after the line of the last line error
        std::uint64_t message = 0;     // index of the next message
        std::uint32_t log = kNamedLog;
    };
    class Cursor {
      public:
        Cursor(const LoadErrors& errors, std::size_t anchor);
        Entry next();

      private:
        std::uint64_t varint();
        const LoadErrors& errors_;
        State state_;
    };
    static constexpr std::size_t kAnchorEvery = 64;

    void add(const Entry& entry, std::string_view text);
    void put(std::uint8_t byte) { bytes_.push_back(byte); }
    void putVarint(std::uint64_t value);

    ChunkedVector<std::uint8_t, std::size_t{1} << 16> bytes_;
    ChunkedVector<State, 1024> anchors_;
    State end_;  // the state after the last error
    std::size_t count_ = 0;
    TextArena messageText_{std::size_t{1} << 20};
    ChunkedVector<std::string_view, 1024> messages_;
    std::size_t messageBytes_ = 0;
    // The name of each error of kNamedLog, by its index; there are few.
    std::vector<std::pair<std::size_t, std::string>> names_;
};

}  // namespace korvantis

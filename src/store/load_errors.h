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
//
// A hostile log can hold hundreds of millions of broken lines in a small
// compressed file, so the listed errors are bounded: once they take
// kListedBytes, further lines that cannot be used are only counted, kept as
// runs of consecutive lines (their place, which line numbers need) rather
// than each on its own. Messages are always listed. The count stays exact.
class LoadErrors {
  public:
    // The log of an error about a file that is not among the loaded logs.
    static constexpr std::uint32_t kNamedLog = std::numeric_limits<std::uint32_t>::max();

    struct Entry {
        LoadErrorOrigin origin;
        bool isLine = false;      // the text is the line at `ref`, else a message
        LineRef ref;              // for a line
        std::size_t message = 0;  // for a message: its index among the messages
        // A message that stands for its line, which is not kept (a line too
        // long to keep): the line counts as an error line all the same.
        bool standsForLine = false;
    };

    // Bytes the listed errors may take before further lines are only counted.
    static constexpr std::size_t kListedBytes = std::size_t{16} << 20;

    // Every error, listed or not.
    std::size_t size() const { return count_ + folded_; }
    bool empty() const { return size() == 0; }
    // The errors kept one by one, which entry(), text() and forEach() give.
    std::size_t listed() const { return count_; }
    // The lines past the bound, counted only.
    std::size_t folded() const { return folded_; }
    // What the list says after its last entry when errors were folded:
    // "… and 12,345 more load errors, not listed: too many to keep".
    static std::string foldedText(std::size_t folded);

    // A line that could not be used; its text is the line itself.
    void addLine(LoadErrorOrigin origin, const LineRef& ref);
    // A message about a line of a loaded log, or about the whole log (line
    // 0); `standsForLine` when the line itself is not kept (see Entry).
    void addMessage(LoadErrorOrigin origin, std::string_view text, bool standsForLine = false);
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

    // Every error that is a line, listed or not, as runs of consecutive
    // lines in the order they were found: f(log, firstLine, lines).
    template <typename F>
    void forEachLineRun(F&& f) const {
        forEach([&](std::size_t, const Entry& e) {
            if (e.isLine || e.standsForLine) {
                f(e.origin.log, e.origin.line, std::uint64_t{1});
            }
        });
        for (std::size_t i = 0; i < foldedRuns_.size(); ++i) {
            f(foldedRuns_[i].log, foldedRuns_[i].line, foldedRuns_[i].lines);
        }
    }

  private:
    // What the decoding of the next error starts from.
    struct State {
        std::uint64_t at = 0;          // in bytes_
        std::uint64_t line = 0;        // of the error before
        std::uint64_t nextOffset = 0;  // just after the line of the last line error
        std::uint64_t message = 0;     // index of the next message
        std::uint32_t log = kNamedLog;
    };

  public:
    // Where the list stands at one moment, to go back to when a batch of
    // errors cannot be kept whole.
    class Mark {
        friend class LoadErrors;
        State end;
        std::size_t count = 0;
        std::size_t anchors = 0;
        std::size_t folded = 0;
        std::size_t runs = 0;
        std::uint64_t lastRunLines = 0;  // a run grows in place
        std::size_t messages = 0;
        std::size_t messageBytes = 0;
        std::size_t names = 0;
    };
    Mark mark() const;
    // Drops every error added since `mark` was taken (their message texts
    // stay in the arena, unused).
    void rollBack(const Mark& mark);

    // Bytes this holds, less the room its texts' blocks keep spare.
    std::size_t bytesUsed() const;

  private:
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
    void pack(const Entry& entry, std::string_view text);
    // Past the bound: counts the error, and keeps a line's place.
    bool fold(const Entry& entry);
    struct LineRun {
        std::uint64_t line = 0;
        std::uint64_t lines = 0;
        std::uint32_t log = 0;
    };
    void put(std::uint8_t byte) { bytes_.push_back(byte); }
    void putVarint(std::uint64_t value);

    ChunkedVector<std::uint8_t, std::size_t{1} << 16> bytes_;
    ChunkedVector<State, 1024> anchors_;
    State end_;               // the state after the last error
    std::size_t count_ = 0;   // listed
    std::size_t folded_ = 0;  // counted only
    ChunkedVector<LineRun, 256> foldedRuns_;
    TextArena messageText_{std::size_t{1} << 20};
    ChunkedVector<std::string_view, 1024> messages_;
    std::size_t messageBytes_ = 0;
    // The name of each error of kNamedLog, by its index; there are few.
    std::vector<std::pair<std::size_t, std::string>> names_;
};

}  // namespace korvantis

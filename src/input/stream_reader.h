#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace korvantis {

class LogText;

// Reads a file of any size as a sequence of lines, in fixed-size chunks,
// holding no more than the longest line plus one chunk.
class StreamReader {
  public:
    static constexpr std::int64_t kDefaultChunkSize = 4096;

    // One line as read. `valid` is false when its bytes are not valid UTF-8;
    // `text` is then the raw bytes (see toValidUtf8).
    struct Line {
        std::string_view text;  // valid until the next call on the reader
        bool valid = true;
    };

    // Nothing when the file cannot be opened for reading (or is a directory),
    // or the delimiter is empty. Only UTF-8 is supported as encoding. A file
    // whose first bytes say it is gzip or zstd data is read decompressed.
    static std::unique_ptr<StreamReader> open(const std::string& path,
                                              std::string_view delimiter = "\n",
                                              std::int64_t chunkSize = kDefaultChunkSize);
    // As open(), and also reads standard input ("-") or a FIFO: what comes
    // is written to a spool file in the cache folder as it is read, and
    // read again from there (see logText()). Waiting for more input ends
    // once `*stop` is set. When the spool cannot be made, `*whyNot` (when
    // given) says why.
    static std::unique_ptr<StreamReader> openLog(const std::string& path,
                                                 std::string_view delimiter, std::int64_t chunkSize,
                                                 const std::atomic<bool>* stop,
                                                 std::string* whyNot = nullptr);
    // Reads on from `offset` of the plain file open as `fd` (not owned: it
    // is duplicated), read with positioned reads: what was appended to a
    // log after it was read. Nothing when it cannot be duplicated.
    // Reading ends at `end`, as at the end of the file. A last line
    // without its delimiter is held (see holdPartialLine()).
    static std::unique_ptr<StreamReader> resume(int fd, std::uint64_t offset,
                                                std::string_view delimiter, std::int64_t chunkSize,
                                                std::uint64_t end = UINT64_MAX);
    // At the end of the input, a last line without its delimiter is not
    // returned: more of it may still be written. (With `hold` false, it
    // is returned, as when the reader was made.)
    void holdPartialLine(bool hold = true);
    // The path openLog() takes for standard input.
    static constexpr std::string_view kStandardInput = "-";
    ~StreamReader();
    StreamReader(const StreamReader&) = delete;
    StreamReader& operator=(const StreamReader&) = delete;

    // The next line without its delimiter, or nothing at end of input.
    // An invalid line does not end the lines: it is returned with
    // valid == false, and reading goes on after it.
    std::optional<Line> nextLine();
    // Every whole line the reader holds, each with its delimiter, as one run
    // of bytes (read on while it holds no whole line); at the end of the
    // input, the last line, which has none. Cutting the runs after each
    // delimiter gives exactly the lines of nextLine(), in far fewer calls.
    // Not checked for UTF-8; valid until the next call.
    std::optional<std::string_view> nextLines();

    // Up to `size` bytes of the text as they come, lines not cut: for a
    // caller that cuts and keeps the lines itself and would otherwise copy
    // every byte once more. 0 at the end of the input; the caller then
    // decides about a last line without its delimiter as nextLines() does
    // (see holdsPartialLine() and failure()).
    std::size_t readText(char* into, std::size_t size);
    bool holdsPartialLine() const;

    // Lines returned by nextLine() have kPadding readable bytes after their end,
    // so they can be parsed in place.
    static constexpr std::size_t kPadding = 64;

    void close();
    // The open file, for callers that keep it open after reading (-1 once
    // closed); for a pipe, its spool.
    int fileDescriptor() const;
    // The file's size when it was opened.
    std::uint64_t sizeAtOpen() const;
    bool atEof() const;
    // The offset in the log's text of the first byte read: not 0 for
    // standard input that is a file read from further on.
    std::uint64_t textStart() const;

    // Whether the file is compressed; its text is then read again through
    // logText(), at the same offsets as lines are read here, as is that of
    // a pipe.
    bool compressed() const;
    std::shared_ptr<const LogText> logText() const;
    // Whether the input is a pipe, whose lines come as they are written.
    bool live() const;
    // Bytes of the file read so far (compressed bytes for a compressed
    // file); may be asked from another thread.
    std::uint64_t fileBytesRead() const;
    // Why the input ended early: the load error for a compressed file that
    // cannot be decoded further, or for bytes of a pipe that could not be
    // kept (see stopReason()). The line it cut short is not returned.
    std::optional<std::string> failure() const;
    // What the load should tell of how the text is read again, once the
    // input is read to its end (a block copy that could not be written);
    // empty when nothing.
    std::string notice() const;
    // Why reading stopped before the input's end, losing what came after:
    // "the spool file PATH could not be written: No space left on device";
    // empty when it did not.
    std::string stopReason() const;

  private:
    StreamReader() = default;
    // A reader of `fd` (owned from now on), spooled when `spoolStop`, read
    // with positioned reads from `startAt` up to `endAt` when it is not
    // negative.
    static std::unique_ptr<StreamReader> over(int fd, std::uint64_t size,
                                              std::string_view delimiter, std::int64_t chunkSize,
                                              const std::atomic<bool>* spoolStop,
                                              std::int64_t startAt = -1,
                                              std::string* whyNot = nullptr,
                                              std::uint64_t endAt = UINT64_MAX);
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace korvantis

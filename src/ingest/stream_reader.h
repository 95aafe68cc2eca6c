#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace korvantis {

// Reads a file of any size as a sequence of lines, in fixed-size chunks,
// holding no more than the longest line plus one chunk.
class StreamReader {
  public:
    static constexpr std::int64_t kDefaultChunkSize = 4096;

    // One line as read. `valid` is false when its bytes are not valid UTF-8;
    // `text` is then the raw bytes (see StreamReader::toValidUtf8).
    struct Line {
        std::string_view text;  // valid until the next call on the reader
        bool valid = true;
    };

    // Nothing when the file cannot be opened for reading (or is a directory),
    // or the delimiter is empty. Only UTF-8 is supported as encoding.
    static std::unique_ptr<StreamReader> open(const std::string& path,
                                              std::string_view delimiter = "\n",
                                              std::int64_t chunkSize = kDefaultChunkSize);
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

    // Lines returned by nextLine() have kPadding readable bytes after their end,
    // so they can be parsed in place.
    static constexpr std::size_t kPadding = 64;

    void close();
    // The open file, for callers that keep it open after reading (-1 once closed).
    int fileDescriptor() const;
    // The file's size when it was opened.
    std::uint64_t sizeAtOpen() const;
    bool atEof() const;

    // `bytes` with each invalid UTF-8 sequence replaced by U+FFFD.
    static std::string toValidUtf8(std::string_view bytes);
    static bool isValidUtf8(std::string_view bytes);

  private:
    StreamReader() = default;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace korvantis

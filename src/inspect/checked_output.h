#pragma once

#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "output/file_replacement.h"

namespace korvantis {

// Standard output written in large pieces, every write checked: a full
// disk or a closed pipe must not end in a run that looks successful. After
// the first failure nothing more is written; finish() says whether all of it
// was, and why not.
class CheckedOutput {
  public:
    explicit CheckedOutput(int fd = STDOUT_FILENO) : fd_(fd) {}
    CheckedOutput(const CheckedOutput&) = delete;
    CheckedOutput& operator=(const CheckedOutput&) = delete;

    // Text to append to; written once it holds kFlushAt bytes (see write()).
    std::string& buffer() { return buffer_; }
    void write(std::string_view text) {
        buffer_.append(text);
        flushIfFull();
    }
    void flushIfFull() {
        if (buffer_.size() >= kFlushAt) {
            flush();
        }
    }
    // Writes what is buffered; false once any write failed.
    bool flush() {
        std::size_t done = 0;
        while (error_ == 0 && done < buffer_.size()) {
            const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                error_ = n < 0 ? errno : EIO;
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        buffer_.clear();
        return error_ == 0;
    }
    // Flushes; an empty text when everything was written, else why not,
    // worded as a failed export of rows words it.
    std::string finish() {
        flush();
        return error_ == 0 ? std::string() : writeFailure("standard output", error_);
    }

  private:
    static constexpr std::size_t kFlushAt = std::size_t{1} << 20;
    int fd_;
    int error_ = 0;
    std::string buffer_;
};

}  // namespace korvantis

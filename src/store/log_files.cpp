#include "store/log_files.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "decode/path_name.h"
#include "input/full_io.h"
#include "input/log_text.h"
#include "input/stream_reader.h"

namespace korvantis {

LogFiles::~LogFiles() {
    for (const Log& log : logs_) {
        if (log.fd >= 0) {
            ::close(log.fd);
        }
    }
}

std::string readFailureText(const ReadFailure& failure) {
    using Kind = ReadFailure::Kind;
    if (failure.kind == Kind::changed || failure.kind == Kind::none) {
        return std::string(kLogChangedText);
    }
    const std::string reason = std::strerror(failure.error);
    if (failure.kind == Kind::notKeptOpen) {
        return "The log file could not be kept open after it was loaded (" + reason +
               "); this event's text is not available.";
    }
    return "The log file could not be read again (" + reason +
           "); this event's text is not available.";
}

void LogFiles::raiseOpenFileLimit() {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

std::uint32_t LogFiles::add(int fd, std::string path, int openError,
                            std::shared_ptr<const LogText> text) {
    std::lock_guard lock(mutex_);
    logs_.push_back(
        Log{fd, std::move(path), fd < 0 && openError == 0 ? EBADF : openError, std::move(text)});
    return static_cast<std::uint32_t>(logs_.size() - 1);
}

std::size_t LogFiles::size() const {
    std::lock_guard lock(mutex_);
    return logs_.size();
}

std::shared_ptr<const LogText> LogFiles::text(std::uint32_t log) const {
    std::lock_guard lock(mutex_);
    return log < logs_.size() ? logs_[log].text : nullptr;
}

int LogFiles::descriptor(std::uint32_t log) const {
    std::lock_guard lock(mutex_);
    return log < logs_.size() && !logs_[log].text ? logs_[log].fd : -1;
}

std::string LogFiles::path(std::uint32_t log) const {
    std::lock_guard lock(mutex_);
    return log < logs_.size() ? logs_[log].path : std::string();
}

std::string LogFiles::fileName(std::uint32_t log) const {
    return logName(path(log));
}

std::string logName(std::string_view path) {
    if (path == StreamReader::kStandardInput) {
        return "standard input";
    }
    return std::string(lastPathComponent(path));
}

ssize_t LogFiles::readText(std::uint32_t log, char* into, std::size_t size, std::uint64_t offset,
                           ReadFailure& failure) const {
    int fd = -1;
    int openError = EBADF;
    std::shared_ptr<const LogText> text;
    {
        std::lock_guard lock(mutex_);
        if (log < logs_.size()) {
            fd = logs_[log].fd;
            openError = logs_[log].openError;
            text = logs_[log].text;
        }
    }
    if (!text && fd < 0) {
        failure = {ReadFailure::Kind::notKeptOpen, openError};
        return -1;
    }
    const ssize_t n = text ? text->readAt(into, size, offset) : readFullyAt(fd, into, size, offset);
    if (n < 0) {
        failure = {ReadFailure::Kind::readFailed, errno};
    }
    return n;
}

LineRead LogFiles::read(const LineRef& ref) const {
    LineRead out;
    std::string bytes(ref.length, '\0');
    const ssize_t n = readText(ref.log, bytes.data(), bytes.size(), ref.offset, out.failure);
    if (n < 0) {
        return out;
    }
    if (static_cast<std::size_t>(n) != bytes.size() || lineChecksum(bytes) != ref.checksum) {
        out.failure = {ReadFailure::Kind::changed, 0};  // cut short, or not what was loaded
    } else {
        out.emplace(std::move(bytes));
    }
    return out;
}

ReadBack<std::string_view> LogFiles::AheadReader::read(const LineRef& ref) {
    constexpr std::size_t kBlock = std::size_t{1} << 20;
    const bool inBlock = ref.log == log_ && ref.offset >= start_ &&
                         ref.offset + ref.length <= start_ + block_.size();
    ReadBack<std::string_view> out;
    if (!inBlock) {
        blockFailure_ = {ReadFailure::Kind::changed, 0};
        block_.resize(std::max<std::size_t>(kBlock, ref.length));
        const ssize_t n =
            files_.readText(ref.log, block_.data(), block_.size(), ref.offset, blockFailure_);
        block_.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
        log_ = ref.log;
        start_ = ref.offset;
        if (block_.size() < ref.length) {
            out.failure = blockFailure_;
            return out;
        }
    }
    const std::string_view bytes(block_.data() + (ref.offset - start_), ref.length);
    if (lineChecksum(bytes) != ref.checksum) {
        out.failure = {ReadFailure::Kind::changed, 0};
        return out;
    }
    out.emplace(bytes);
    return out;
}

}  // namespace korvantis

#include "store/log_files.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "ingest/path_name.h"

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

std::uint32_t LogFiles::add(int fd, std::string path, int openError) {
    std::lock_guard lock(mutex_);
    logs_.push_back(Log{fd, std::move(path), fd < 0 && openError == 0 ? EBADF : openError});
    return static_cast<std::uint32_t>(logs_.size() - 1);
}

std::size_t LogFiles::size() const {
    std::lock_guard lock(mutex_);
    return logs_.size();
}

std::string LogFiles::path(std::uint32_t log) const {
    std::lock_guard lock(mutex_);
    return log < logs_.size() ? logs_[log].path : std::string();
}

std::string LogFiles::fileName(std::uint32_t log) const {
    return std::string(lastPathComponent(path(log)));
}

namespace {

// Reads up to `size` bytes at `offset`; how many were read (fewer at the end
// of the file), or -1.
ssize_t readAt(int fd, char* into, std::size_t size, std::uint64_t offset) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, into + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return -1;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

}  // namespace

int LogFiles::fdOf(std::uint32_t log, ReadFailure& failure) const {
    std::lock_guard lock(mutex_);
    const int fd = log < logs_.size() ? logs_[log].fd : -1;
    if (fd < 0) {
        failure = {ReadFailure::Kind::notKeptOpen,
                   log < logs_.size() ? logs_[log].openError : EBADF};
    }
    return fd;
}

LineRead LogFiles::read(const LineRef& ref) const {
    LineRead out;
    const int fd = fdOf(ref.log, out.failure);
    if (fd < 0) {
        return out;
    }
    std::string bytes(ref.length, '\0');
    const ssize_t n = readAt(fd, bytes.data(), bytes.size(), ref.offset);
    if (n < 0) {
        out.failure = {ReadFailure::Kind::readFailed, errno};
    } else if (static_cast<std::size_t>(n) != bytes.size() || lineChecksum(bytes) != ref.checksum) {
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
        const int fd = files_.fdOf(ref.log, blockFailure_);
        const ssize_t n = fd < 0 ? -1 : readAt(fd, block_.data(), block_.size(), ref.offset);
        if (fd >= 0 && n < 0) {
            blockFailure_ = {ReadFailure::Kind::readFailed, errno};
        }
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

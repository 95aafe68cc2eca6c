#include "store/log_files.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "ingest/log_text.h"
#include "ingest/stream_reader.h"
#include "store/node.h"

namespace korvantis {

LogFiles::~LogFiles() {
    for (const Log& log : logs_) {
        ::close(log.fd);
    }
}

std::uint32_t LogFiles::add(int fd, std::string path, std::shared_ptr<const LogText> text) {
    std::lock_guard lock(mutex_);
    logs_.push_back(Log{fd, std::move(path), std::move(text)});
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
    return logName(path(log));
}

std::string logName(std::string_view path) {
    if (path == StreamReader::kStandardInput) {
        return "standard input";
    }
    return std::string(lastPathComponent(path));
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

ssize_t LogFiles::readText(std::uint32_t log, char* into, std::size_t size,
                           std::uint64_t offset) const {
    int fd = -1;
    std::shared_ptr<const LogText> text;
    {
        std::lock_guard lock(mutex_);
        if (log < logs_.size()) {
            fd = logs_[log].fd;
            text = logs_[log].text;
        }
    }
    return text ? text->readAt(into, size, offset) : readAt(fd, into, size, offset);
}

std::optional<std::string> LogFiles::read(const LineRef& ref) const {
    std::string bytes(ref.length, '\0');
    if (readText(ref.log, bytes.data(), bytes.size(), ref.offset) !=
            static_cast<ssize_t>(bytes.size()) ||
        lineChecksum(bytes) != ref.checksum) {
        return std::nullopt;  // cut short, unreadable, or not what was loaded
    }
    return bytes;
}

std::optional<std::string_view> LogFiles::AheadReader::read(const LineRef& ref) {
    constexpr std::size_t kBlock = std::size_t{1} << 20;
    const bool inBlock = ref.log == log_ && ref.offset >= start_ &&
                         ref.offset + ref.length <= start_ + block_.size();
    if (!inBlock) {
        block_.resize(std::max<std::size_t>(kBlock, ref.length));
        const ssize_t n = files_.readText(ref.log, block_.data(), block_.size(), ref.offset);
        block_.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
        log_ = ref.log;
        start_ = ref.offset;
        if (block_.size() < ref.length) {
            return std::nullopt;
        }
    }
    const std::string_view bytes(block_.data() + (ref.offset - start_), ref.length);
    if (lineChecksum(bytes) != ref.checksum) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace korvantis

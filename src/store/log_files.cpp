#include "store/log_files.h"

#include <unistd.h>

#include <cerrno>

#include "store/node.h"

namespace korvantis {

LogFiles::~LogFiles() {
    for (const Log& log : logs_) {
        ::close(log.fd);
    }
}

std::uint32_t LogFiles::add(int fd, std::string path) {
    std::lock_guard lock(mutex_);
    logs_.push_back(Log{fd, std::move(path)});
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

std::optional<std::string> LogFiles::read(const LineRef& ref) const {
    int fd = -1;
    {
        std::lock_guard lock(mutex_);
        if (ref.log >= logs_.size()) {
            return std::nullopt;
        }
        fd = logs_[ref.log].fd;
    }
    std::string bytes(ref.length, '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done,
                                  static_cast<off_t>(ref.offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return std::nullopt;  // cut short or unreadable
        }
        done += static_cast<std::size_t>(n);
    }
    if (lineChecksum(bytes) != ref.checksum) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace korvantis

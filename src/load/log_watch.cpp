#include "load/log_watch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace korvantis {

LogWatch::LogWatch(std::function<void()> changed) : changed_(std::move(changed)) {
    inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    stop_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    thread_ = std::thread(&LogWatch::run, this);
}

LogWatch::~LogWatch() {
    const std::uint64_t one = 1;
    if (stop_ >= 0) {
        [[maybe_unused]] const ssize_t n = ::write(stop_, &one, sizeof one);
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    for (int fd : {inotify_, stop_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void LogWatch::watch(const std::string& path) {
    if (inotify_ >= 0) {
        ::inotify_add_watch(inotify_, path.c_str(),
                            IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_MOVE_SELF | IN_DELETE_SELF);
    }
}

void LogWatch::run() {
    pollfd fds[2] = {{stop_, POLLIN, 0}, {inotify_, POLLIN, 0}};
    const nfds_t count = inotify_ >= 0 ? 2 : 1;
    alignas(inotify_event) char events[4096];
    for (;;) {
        const int ready = ::poll(fds, count, kFallbackMs);
        if (ready < 0 && errno != EINTR) {
            return;
        }
        if (stop_ < 0 || (fds[0].revents & POLLIN) != 0) {
            return;
        }
        if (count == 2 && (fds[1].revents & POLLIN) != 0) {
            // Every event says the same: look again. A burst of writes is
            // read in one go and told once.
            while (::read(inotify_, events, sizeof events) > 0) {
            }
        }
        changed_();
    }
}

}  // namespace korvantis

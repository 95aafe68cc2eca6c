#include "input/raw_input.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "input/full_io.h"

namespace korvantis {

void RawInput::spoolTo(int spoolFd, std::string spoolPath, const std::atomic<bool>* stop) {
    spoolFd_ = spoolFd;
    spoolPath_ = std::move(spoolPath);
    stop_ = stop;
}

bool RawInput::waitForBytes() {
    // A slow wait, so that a stop is seen while nothing comes.
    constexpr int kWaitMs = 200;
    pollfd p{fd_, POLLIN, 0};
    while (stop_ == nullptr || !stop_->load(std::memory_order_relaxed)) {
        const int ready = ::poll(&p, 1, kWaitMs);
        if (ready > 0 || (ready < 0 && errno != EINTR)) {
            return true;
        }
    }
    return false;
}

bool RawInput::spool(const char* bytes, std::size_t size) {
    if (!spoolFailure_.empty()) {
        return false;
    }
    errno = 0;
    if (writeFully(spoolFd_, bytes, size)) {
        return true;
    }
    // A short write that wrote nothing sets no errno: the disk is full.
    const int error = errno != 0 ? errno : ENOSPC;
    spoolFailure_ =
        "the spool file " + spoolPath_ + " could not be written: " + std::strerror(error);
    return false;
}

void RawInput::dropRead(std::uint64_t end) {
    // In large steps: each call walks the file's cached pages.
    constexpr std::uint64_t kDropEvery = std::uint64_t{64} << 20;
    // Reads only go forward, so `end` never falls below `droppedTo_`.
    if (end - droppedTo_ >= kDropEvery) {
        ::posix_fadvise(fd_, static_cast<off_t>(droppedTo_), static_cast<off_t>(end - droppedTo_),
                        POSIX_FADV_DONTNEED);
        droppedTo_ = end;
    }
}

std::size_t RawInput::readFile(char* into, std::size_t size) {
    for (;;) {
        if (spoolFd_ >= 0 && !waitForBytes()) {
            return 0;
        }
        if (!spoolFailure_.empty()) {
            return 0;
        }
        if (at_ >= 0) {
            const auto at = static_cast<std::uint64_t>(at_);
            size = at >= endAt_
                       ? 0
                       : static_cast<std::size_t>(std::min<std::uint64_t>(size, endAt_ - at));
            if (size == 0) {
                return 0;
            }
        }
        const ssize_t n = at_ >= 0 ? ::pread(fd_, into, size, at_) : ::read(fd_, into, size);
        if (n >= 0) {
            at_ += at_ >= 0 ? n : 0;
            plainAt_ += at_ >= 0 ? 0 : static_cast<std::uint64_t>(n);
            if (dropBehind_ && spoolFd_ < 0) {
                dropRead(at_ >= 0 ? static_cast<std::uint64_t>(at_) : plainAt_);
            }
            // Bytes that cannot be kept end the input: they could not be
            // read again.
            if (spoolFd_ >= 0 && !spool(into, static_cast<std::size_t>(n))) {
                return 0;
            }
            return static_cast<std::size_t>(n);
        }
        if (errno != EINTR && errno != EAGAIN) {
            return 0;
        }
    }
}

std::string_view RawInput::peek(std::size_t size) {
    while (peeked_.size() < size) {
        const std::size_t had = peeked_.size();
        peeked_.resize(size);
        const std::size_t n = readFile(peeked_.data() + had, size - had);
        peeked_.resize(had + n);
        if (n == 0) {
            break;
        }
    }
    return std::string_view(peeked_).substr(0, size);
}

std::size_t RawInput::read(char* into, std::size_t size) {
    std::size_t n = 0;
    if (!peeked_.empty()) {
        n = std::min(size, peeked_.size());
        std::memcpy(into, peeked_.data(), n);
        peeked_.erase(0, n);
    } else {
        n = readFile(into, size);
    }
    taken_.fetch_add(n, std::memory_order_relaxed);
    return n;
}

}  // namespace korvantis

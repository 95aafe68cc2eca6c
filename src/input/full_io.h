#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace korvantis {

// Reads up to `size` bytes of `fd` at `offset`, going on after short reads
// and interruptions; how many were read (fewer at the end of the file), or -1.
inline ssize_t readFullyAt(int fd, char* into, std::size_t size, std::uint64_t offset) {
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

// Writes all `size` bytes to `fd`, at `offset` or, without one, where the
// descriptor stands, going on after short writes and interruptions; false
// when a write fails (errno says why).
inline bool writeFully(int fd, const char* bytes, std::size_t size,
                       std::optional<std::uint64_t> offset = std::nullopt) {
    while (size > 0) {
        const ssize_t n = offset ? ::pwrite(fd, bytes, size, static_cast<off_t>(*offset))
                                 : ::write(fd, bytes, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
        if (offset) {
            *offset += static_cast<std::uint64_t>(n);
        }
    }
    return true;
}

}  // namespace korvantis

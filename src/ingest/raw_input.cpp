#include "ingest/raw_input.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace korvantis {

std::size_t RawInput::readFile(char* into, std::size_t size) {
    for (;;) {
        const ssize_t n = ::read(fd_, into, size);
        if (n >= 0) {
            return static_cast<std::size_t>(n);
        }
        if (errno != EINTR) {
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

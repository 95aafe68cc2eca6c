#include "ingest/spool_text.h"

#include <unistd.h>

#include <cerrno>

#include "ingest/cache_file.h"

namespace korvantis {

SpoolText::SpoolText(std::unique_ptr<CacheFile> spool, std::shared_ptr<const LogText> decompressed)
    : spool_(std::move(spool)), decompressed_(std::move(decompressed)) {}

SpoolText::~SpoolText() = default;

ssize_t SpoolText::readAt(char* into, std::size_t size, std::uint64_t offset) const {
    if (decompressed_) {
        return decompressed_->readAt(into, size, offset);
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(spool_->fileDescriptor(), into + done, size - done,
                                  static_cast<off_t>(offset + done));
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

}  // namespace korvantis

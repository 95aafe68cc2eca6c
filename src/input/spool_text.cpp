#include "input/spool_text.h"

#include "input/cache_file.h"
#include "input/full_io.h"

namespace korvantis {

SpoolText::SpoolText(std::unique_ptr<CacheFile> spool, std::shared_ptr<const LogText> decompressed)
    : spool_(std::move(spool)), decompressed_(std::move(decompressed)) {}

SpoolText::~SpoolText() = default;

ssize_t SpoolText::readAt(char* into, std::size_t size, std::uint64_t offset) const {
    if (decompressed_) {
        return decompressed_->readAt(into, size, offset);
    }
    return readFullyAt(spool_->fileDescriptor(), into, size, offset);
}

}  // namespace korvantis

#include "index/spill_buffer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "index/index_writer.h"

namespace korvantis {

namespace {

// Spilled in whole blocks of the section checksum, so that it takes them
// without copying.
constexpr std::size_t kSpillAt = kChecksumBlock;

// An unnamed file in `folder`, readable and writable by its owner alone.
int unnamedFile(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR)) {
        std::string path = folder + "/spill-XXXXXX";
        fd = ::mkostemp(path.data(), O_CLOEXEC);
        if (fd >= 0) {
            ::unlink(path.c_str());
        }
    }
    return fd;
}

}  // namespace

SpillBuffer::SpillBuffer(std::string folder, int into, std::uint64_t at)
    : folder_(std::move(folder)), fd_(into), ownsFile_(into < 0), at_(into < 0 ? 0 : at) {}

SpillBuffer::~SpillBuffer() {
    if (fd_ >= 0 && ownsFile_) {
        ::close(fd_);
    }
}

void SpillBuffer::append(std::string_view bytes) {
    pending_.append(bytes);
    if (pending_.size() >= kSpillAt) {
        spill();
    }
}

void SpillBuffer::spill() {
    if (!failure_.empty()) {
        pending_.clear();
        return;
    }
    if (fd_ < 0) {
        fd_ = unnamedFile(folder_);
        if (fd_ < 0) {
            failure_ = std::strerror(errno);
            return;
        }
    }
    const std::size_t whole = pending_.size() / kChecksumBlock * kChecksumBlock;
    std::size_t done = 0;
    while (done < whole) {
        const ssize_t n = ::pwrite(fd_, pending_.data() + done, whole - done,
                                   static_cast<off_t>(at_ + spilled_ + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            failure_ = n < 0 ? std::strerror(errno) : "a write wrote nothing";
            pending_.clear();
            return;
        }
        done += static_cast<std::size_t>(n);
    }
    spilledSum_.add(std::string_view(pending_).substr(0, whole));
    spilled_ += whole;
    pending_.erase(0, whole);
}

bool SpillBuffer::copyTo(IndexWriter& writer) {
    if (!failure_.empty()) {
        return false;
    }
    SectionChecksum whole = spilledSum_;
    whole.add(pending_);
    if (!ownsFile_) {
        if (writer.appendInPlace(fd_, at_, spilled_, pending_, whole)) {
            return true;
        }
        failure_ = "its bytes are not where the index has its section";
        return false;
    }
    if (writer.appendFile(fd_, spilled_, pending_, whole)) {
        return true;
    }
    // After other bytes of the section: read back and written on.
    constexpr std::size_t kChunk = std::size_t{1} << 20;
    auto chunk = std::make_unique_for_overwrite<char[]>(kChunk);
    for (std::uint64_t at = 0; at < spilled_;) {
        const ssize_t n = ::pread(fd_, chunk.get(), kChunk, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            failure_ = n < 0 ? std::strerror(errno) : "its spill file was cut short";
            return false;
        }
        writer.append(std::string_view(chunk.get(), static_cast<std::size_t>(n)));
        at += static_cast<std::uint64_t>(n);
    }
    writer.append(pending_);
    return true;
}

}  // namespace korvantis

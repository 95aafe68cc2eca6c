#include "index/spill_buffer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "index/index_writer.h"

namespace korvantis {

namespace {

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

void SpillBuffer::appendLong(std::string_view bytes) {
    if (bytes.empty()) {
        return;
    }
    if (!pending_) {
        pending_ = std::make_unique_for_overwrite<char[]>(kRoom);
        room_ = kRoom;
    }
    while (!bytes.empty()) {
        const std::size_t taken = std::min(bytes.size(), kRoom - pendingSize_);
        std::memcpy(pending_.get() + pendingSize_, bytes.data(), taken);
        pendingSize_ += taken;
        bytes.remove_prefix(taken);
        if (pendingSize_ >= kSpillAt) {
            spill();
        }
    }
}

void SpillBuffer::spill() {
    if (!failure_.empty()) {
        pendingSize_ = 0;
        return;
    }
    if (fd_ < 0) {
        fd_ = unnamedFile(folder_);
        if (fd_ < 0) {
            failure_ = std::strerror(errno);
            pendingSize_ = 0;
            return;
        }
    }
    const std::size_t whole = pendingSize_ / kChecksumBlock * kChecksumBlock;
    std::size_t done = 0;
    while (done < whole) {
        const ssize_t n = ::pwrite(fd_, pending_.get() + done, whole - done,
                                   static_cast<off_t>(at_ + spilled_ + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            failure_ = n < 0 ? std::strerror(errno) : "a write wrote nothing";
            pendingSize_ = 0;
            return;
        }
        done += static_cast<std::size_t>(n);
    }
    spilledSum_.add(pending().substr(0, whole));
    spilled_ += whole;
    pendingSize_ -= whole;
    std::memmove(pending_.get(), pending_.get() + whole, pendingSize_);
}

bool SpillBuffer::copyTo(IndexWriter& writer) {
    if (!failure_.empty()) {
        return false;
    }
    SectionChecksum whole = spilledSum_;
    whole.add(pending());
    if (!ownsFile_) {
        if (writer.appendInPlace(fd_, at_, spilled_, pending(), whole)) {
            return true;
        }
        failure_ = "its bytes are not where the index has its section";
        return false;
    }
    if (writer.appendFile(fd_, spilled_, pending(), whole)) {
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
    writer.append(pending());
    return true;
}

}  // namespace korvantis

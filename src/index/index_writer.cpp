#include "index/index_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "index/index_format.h"
#include "input/full_io.h"
#include "store/line_ref.h"

namespace korvantis {

namespace {

constexpr std::size_t kBufferSize = std::size_t{1} << 20;

// The first `length` bytes of `from` to `to` at `at`: by the kernel where
// it can, else read and written here.
bool copyFileRange(int from, int to, std::uint64_t length, std::uint64_t at) {
    loff_t in = 0;
    auto out = static_cast<loff_t>(at);
    while (static_cast<std::uint64_t>(in) < length) {
        const ssize_t n =
            ::copy_file_range(from, &in, to, &out,
                              static_cast<std::size_t>(length - static_cast<std::uint64_t>(in)), 0);
        if (n > 0) {
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n == 0) {
            errno = EIO;  // the file is shorter than it was
            return false;
        }
        if (errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL) {
            return false;
        }
        // Not between these two files: the plain way, from where it got to.
        auto chunk = std::make_unique_for_overwrite<char[]>(kBufferSize);
        while (static_cast<std::uint64_t>(in) < length) {
            const std::size_t want = static_cast<std::size_t>(
                std::min<std::uint64_t>(kBufferSize, length - static_cast<std::uint64_t>(in)));
            const ssize_t got = ::pread(from, chunk.get(), want, in);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                if (got == 0) {
                    errno = EIO;
                }
                return false;
            }
            if (!writeFully(to, chunk.get(), static_cast<std::size_t>(got),
                            static_cast<std::uint64_t>(out))) {
                return false;
            }
            in += got;
            out += got;
        }
    }
    return true;
}

std::uint64_t alignedUp(std::uint64_t at) {
    return (at + kSectionAlignment - 1) / kSectionAlignment * kSectionAlignment;
}

}  // namespace

IndexWriter::IndexWriter(int fd) : fd_(fd), at_(kHeaderSize) {
    buffer_.reserve(kBufferSize);
}

void IndexWriter::write(std::string_view bytes) {
    if (!failure_.empty()) {
        return;
    }
    if (buffer_.size() + bytes.size() > kBufferSize) {
        flush();
    }
    if (bytes.size() >= kBufferSize) {
        if (!writeFully(fd_, bytes.data(), bytes.size(), at_)) {
            failure_ = std::strerror(errno);
        }
        at_ += bytes.size();
        return;
    }
    buffer_.append(bytes);
}

void IndexWriter::flush() {
    if (failure_.empty() && !buffer_.empty() &&
        !writeFully(fd_, buffer_.data(), buffer_.size(), at_)) {
        failure_ = std::strerror(errno);
    }
    at_ += buffer_.size();
    buffer_.clear();
}

void IndexWriter::beginSection(std::string_view name) {
    if (inSection_ || !isSectionName(name) || entries_.size() == kMaxSections) {
        failure_ = "a section could not be begun: " + std::string(name);
        return;
    }
    for (const Entry& entry : entries_) {
        if (entry.name == name) {
            failure_ = "a section was written twice: " + std::string(name);
            return;
        }
    }
    const std::uint64_t end = at_ + buffer_.size();
    write(std::string(alignedUp(end) - end, '\0'));
    entries_.push_back({std::string(name), alignedUp(end), 0, 0});
    checksum_ = SectionChecksum();
    inSection_ = true;
}

void IndexWriter::append(std::string_view bytes) {
    if (!inSection_) {
        failure_ = "bytes were written outside a section";
        return;
    }
    checksum_.add(bytes);
    entries_.back().length += bytes.size();
    write(bytes);
}

void IndexWriter::appendU64(std::uint64_t value) {
    char bytes[8];
    storeU64(bytes, value);
    append(std::string_view(bytes, sizeof bytes));
}

bool IndexWriter::appendFile(int from, std::uint64_t length, std::string_view tail,
                             const SectionChecksum& whole) {
    if (!inSection_ || entries_.back().length != 0) {
        return false;
    }
    flush();
    if (failure_.empty() && !copyFileRange(from, fd_, length, at_)) {
        failure_ = std::strerror(errno);
    }
    at_ += length;
    write(tail);
    entries_.back().length = length + tail.size();
    checksum_ = whole;
    return true;
}

bool IndexWriter::appendInPlace(int fd, std::uint64_t at, std::uint64_t length,
                                std::string_view tail, const SectionChecksum& whole) {
    if (!inSection_ || entries_.back().length != 0 || fd != fd_ || entries_.back().offset != at ||
        at_ + buffer_.size() != at) {
        return false;
    }
    flush();
    at_ += length;
    write(tail);
    entries_.back().length = length + tail.size();
    checksum_ = whole;
    return true;
}

void IndexWriter::endSection() {
    if (!inSection_) {
        failure_ = "a section was ended twice";
        return;
    }
    entries_.back().checksum = checksum_.finish();
    inSection_ = false;
}

bool IndexWriter::finish(const LogIdentity& identity, std::string* whyNot) {
    if (inSection_) {
        failure_ = "a section was not ended: " + entries_.back().name;
    }
    const std::uint64_t tableOffset = alignedUp(at_ + buffer_.size());
    std::string table(entries_.size() * kTableEntrySize, '\0');
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        char* entry = table.data() + i * kTableEntrySize;
        std::memcpy(entry, entries_[i].name.data(), entries_[i].name.size());
        storeU64(entry + kSectionNameSize, entries_[i].offset);
        storeU64(entry + kSectionNameSize + 8, entries_[i].length);
        storeU64(entry + kSectionNameSize + 16, entries_[i].checksum);
    }
    write(std::string(tableOffset - (at_ + buffer_.size()), '\0'));
    write(table);
    flush();
    char header[kHeaderSize] = {};
    std::memcpy(header + header_at::magic, kIndexMagic.data(), kIndexMagic.size());
    storeU32(header + header_at::version, kIndexFormatVersion);
    storeU32(header + header_at::sectionCount, static_cast<std::uint32_t>(entries_.size()));
    storeU64(header + header_at::tableOffset, tableOffset);
    storeU64(header + header_at::fileSize, at_);
    const std::uint64_t fields[] = {
        identity.device,       identity.inode,
        identity.size,         static_cast<std::uint64_t>(identity.mtimeNs),
        identity.headChecksum, identity.tailChecksum};
    for (std::size_t i = 0; i < std::size(fields); ++i) {
        storeU64(header + header_at::identity + 8 * i, fields[i]);
    }
    storeU64(header + header_at::tableChecksum, sectionChecksum(table));
    storeU64(header + header_at::headerChecksum,
             lineChecksum(std::string_view(header, header_at::headerChecksum)));
    if (failure_.empty() && !writeFully(fd_, header, sizeof header, 0)) {
        failure_ = std::strerror(errno);
    }
    if (!failure_.empty() && whyNot != nullptr) {
        *whyNot = failure_;
    }
    return failure_.empty();
}

}  // namespace korvantis

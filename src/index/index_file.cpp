#include "index/index_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "index/index_format.h"
#include "index/section_checksum.h"
#include "input/full_io.h"
#include "store/line_ref.h"

namespace korvantis {

std::optional<std::uint64_t> SectionReader::u64() {
    const auto got = bytes(8);
    return got ? std::optional(loadU64(got->data())) : std::nullopt;
}

std::optional<std::string_view> SectionReader::bytes(std::uint64_t length) {
    if (length > left()) {
        at_ = bytes_.size();
        return std::nullopt;
    }
    const std::string_view got = bytes_.substr(at_, length);
    at_ += length;
    return got;
}

std::optional<std::string_view> SectionReader::at(std::uint64_t offset,
                                                  std::uint64_t length) const {
    if (offset > bytes_.size() || length > bytes_.size() - offset) {
        return std::nullopt;
    }
    return bytes_.substr(offset, length);
}

namespace {

bool fail(std::string* whyNot, std::string reason) {
    if (whyNot != nullptr) {
        *whyNot = std::move(reason);
    }
    return false;
}

}  // namespace

std::unique_ptr<IndexFile> IndexFile::open(const std::string& path, std::string* whyNot,
                                           bool* absent, std::span<const NamedScan> scans) {
    // Reading is not using: the time of last use is set by the cache alone.
    constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    int fd = ::open(path.c_str(), kFlags | O_NOATIME);
    if (fd < 0 && errno == EPERM) {
        fd = ::open(path.c_str(), kFlags);
    }
    if (absent != nullptr) {
        *absent = fd < 0 && errno == ENOENT;
    }
    if (fd < 0) {
        fail(whyNot, std::strerror(errno));
        return nullptr;
    }
    // Shared with other readers; a writer replacing it or the cache's
    // trimming waits for none of them, it passes this file by.
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        fail(whyNot, std::string("it cannot be locked: ") + std::strerror(errno));
        ::close(fd);
        return nullptr;
    }
    auto file = over(fd, whyNot, scans);
    if (!file) {
        ::close(fd);
    }
    return file;
}

std::unique_ptr<IndexFile> IndexFile::over(int fd, std::string* whyNot,
                                           std::span<const NamedScan> scans) {
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        fail(whyNot, std::strerror(errno));
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        fail(whyNot, "it is not a regular file");
        return nullptr;
    }
    const auto fileSize = static_cast<std::uint64_t>(st.st_size);
    // The header and the table are copied, not mapped: what decides where
    // everything lies cannot change once it is checked.
    char header[kHeaderSize];
    if (fileSize < kHeaderSize || readFullyAt(fd, header, kHeaderSize, 0) != kHeaderSize) {
        fail(whyNot, "it is shorter than an index header");
        return nullptr;
    }
    if (std::string_view(header, kIndexMagic.size()) != kIndexMagic) {
        fail(whyNot, "it is not an index file");
        return nullptr;
    }
    if (const std::uint32_t version = loadU32(header + header_at::version);
        version != kIndexFormatVersion) {
        fail(whyNot, std::string("it is of ") +
                         (version > kIndexFormatVersion ? "a newer" : "an older") +
                         " format (version " + std::to_string(version) + ")");
        return nullptr;
    }
    if (loadU64(header + header_at::headerChecksum) !=
        lineChecksum(std::string_view(header, header_at::headerChecksum))) {
        fail(whyNot, "its header is damaged");
        return nullptr;
    }
    if (const std::uint64_t written = loadU64(header + header_at::fileSize); written != fileSize) {
        fail(whyNot, "it is " + std::to_string(fileSize) + " bytes long, not the " +
                         std::to_string(written) + " it was written with");
        return nullptr;
    }
    const std::uint32_t count = loadU32(header + header_at::sectionCount);
    const std::uint64_t tableOffset = loadU64(header + header_at::tableOffset);
    if (count > kMaxSections) {
        fail(whyNot, "it names too many sections");
        return nullptr;
    }
    const std::uint64_t tableSize = std::uint64_t{count} * kTableEntrySize;
    if (tableOffset < kHeaderSize || tableOffset > fileSize || tableSize > fileSize - tableOffset) {
        fail(whyNot, "its section table lies outside the file");
        return nullptr;
    }
    std::string table(tableSize, '\0');
    if (readFullyAt(fd, table.data(), tableSize, tableOffset) != static_cast<ssize_t>(tableSize)) {
        fail(whyNot, "its section table cannot be read");
        return nullptr;
    }
    if (loadU64(header + header_at::tableChecksum) != sectionChecksum(table)) {
        fail(whyNot, "its section table is damaged");
        return nullptr;
    }
    std::unique_ptr<IndexFile> file(new IndexFile());
    std::vector<std::uint64_t> checksums;
    for (std::uint32_t i = 0; i < count; ++i) {
        const char* entry = table.data() + std::size_t{i} * kTableEntrySize;
        const std::string_view padded(entry, kSectionNameSize);
        const std::string_view name = padded.substr(0, padded.find('\0'));
        const std::uint64_t offset = loadU64(entry + kSectionNameSize);
        const std::uint64_t length = loadU64(entry + kSectionNameSize + 8);
        if (!isSectionName(name) ||
            padded.find_first_not_of('\0', name.size()) != std::string_view::npos) {
            fail(whyNot, "its section table names a section badly");
            return nullptr;
        }
        // Sections lie between the header and the table.
        if (offset < kHeaderSize || offset % kSectionAlignment != 0 || offset > tableOffset ||
            length > tableOffset - offset) {
            fail(whyNot, "section " + std::string(name) + " lies outside the file");
            return nullptr;
        }
        file->entries_.push_back({std::string(name), offset, length});
        checksums.push_back(loadU64(entry + kSectionNameSize + 16));
    }
    // Apart from each other, each name once.
    std::vector<const Entry*> byOffset;
    for (const Entry& entry : file->entries_) {
        byOffset.push_back(&entry);
    }
    std::sort(byOffset.begin(), byOffset.end(),
              [](const Entry* a, const Entry* b) { return a->offset < b->offset; });
    for (std::size_t i = 1; i < byOffset.size(); ++i) {
        if (byOffset[i - 1]->offset + byOffset[i - 1]->length > byOffset[i]->offset) {
            fail(whyNot,
                 "sections " + byOffset[i - 1]->name + " and " + byOffset[i]->name + " overlap");
            return nullptr;
        }
    }
    for (std::size_t i = 0; i < file->entries_.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (file->entries_[i].name == file->entries_[j].name) {
                fail(whyNot, "section " + file->entries_[i].name + " is named twice");
                return nullptr;
            }
        }
    }
    // Checked through the mapping: a first touch of a mapped page costs
    // about what copying it out does, and the pages a reopening reads are
    // then mapped already. What must be gone through whole is gone through
    // here, while its bytes pass by.
    file->mapped_ = MappedFile::map(fd, fileSize, whyNot);
    if (!file->mapped_) {
        return nullptr;
    }
    const std::string_view bytes = file->mapped_->bytes();
    for (std::size_t i = 0; i < file->entries_.size(); ++i) {
        const Entry& entry = file->entries_[i];
        const std::string_view section = bytes.substr(entry.offset, entry.length);
        SectionScan* scan = nullptr;
        for (const NamedScan& named : scans) {
            if (named.section == entry.name) {
                scan = named.scan;
                scan->begin(entry.length);
            }
        }
        // A block at a time, scanned while it is in the processor's cache.
        SectionChecksum checksum;
        for (std::size_t at = 0; at < section.size(); at += kChecksumBlock) {
            const std::string_view block = section.substr(at, kChecksumBlock);
            checksum.add(block);
            if (scan != nullptr) {
                scan->add(block);
            }
        }
        // A file cut short reads as zeros from where it was cut.
        if (!file->intact()) {
            fail(whyNot, "it was cut short while it was read");
            return nullptr;
        }
        if (checksum.finish() != checksums[i]) {
            fail(whyNot, "section " + entry.name + " is damaged");
            return nullptr;
        }
    }
    const char* id = header + header_at::identity;
    file->identity_ = {loadU64(id),      loadU64(id + 8),
                       loadU64(id + 16), static_cast<std::int64_t>(loadU64(id + 24)),
                       loadU64(id + 32), loadU64(id + 40)};
    file->fd_ = fd;
    return file;
}

IndexFile::~IndexFile() {
    mapped_.reset();
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::optional<std::string_view> IndexFile::section(std::string_view name) const {
    for (const Entry& entry : entries_) {
        if (entry.name == name) {
            return mapped_->bytes().substr(entry.offset, entry.length);
        }
    }
    return std::nullopt;
}

std::vector<std::string> IndexFile::sectionNames() const {
    std::vector<std::string> names;
    for (const Entry& entry : entries_) {
        names.push_back(entry.name);
    }
    return names;
}

}  // namespace korvantis

#include "index/index_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <exception>
#include <span>
#include <system_error>
#include <thread>
#include <vector>

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

// One section to check: its bytes, the checksum the table gives it, the
// scan to go through it (if any), and whether they matched.
struct SectionCheck {
    std::string_view bytes;
    std::uint64_t expected = 0;
    SectionScan* scan = nullptr;
    bool sound = false;
};

// A section with a scan, checked whole by one thread: the scan goes through
// its bytes in order.
void checkScannedSection(SectionCheck& check) {
    check.scan->begin(check.bytes.size());
    // A block at a time, scanned while it is in the processor's cache.
    SectionChecksum checksum;
    for (std::size_t at = 0; at < check.bytes.size(); at += kChecksumBlock) {
        const std::string_view block = check.bytes.substr(at, kChecksumBlock);
        checksum.add(block);
        check.scan->add(block);
    }
    check.sound = checksum.finish() == check.expected;
}

// From this many bytes on, the sections are checked on two threads: each
// takes the next section with a scan (the largest first) while there is
// one, then the next block of the others, so that both finish at about the
// same time however the work is shared among the sections.
constexpr std::uint64_t kTwoThreadsFrom = std::uint64_t{16} << 20;

void checkSections(std::vector<SectionCheck>& checks) {
    std::vector<SectionCheck*> scanned;
    std::uint64_t total = 0;
    // The blocks of the sections without a scan, in one row: the first
    // block of each, and each one's sums.
    std::vector<SectionCheck*> plain;
    std::vector<std::size_t> firstBlock{0};
    for (SectionCheck& check : checks) {
        total += check.bytes.size();
        if (check.scan != nullptr) {
            scanned.push_back(&check);
        } else {
            plain.push_back(&check);
            firstBlock.push_back(firstBlock.back() +
                                 (check.bytes.size() + kChecksumBlock - 1) / kChecksumBlock);
        }
    }
    std::sort(scanned.begin(), scanned.end(), [](const SectionCheck* a, const SectionCheck* b) {
        return a->bytes.size() > b->bytes.size();
    });
    std::vector<std::uint64_t> blockSums(firstBlock.back());
    std::atomic<std::size_t> nextScanned{0}, nextBlock{0};
    auto work = [&] {
        for (std::size_t i; (i = nextScanned.fetch_add(1)) < scanned.size();) {
            checkScannedSection(*scanned[i]);
        }
        std::size_t section = 0;
        for (std::size_t b; (b = nextBlock.fetch_add(1)) < blockSums.size();) {
            while (firstBlock[section + 1] <= b) {
                ++section;
            }
            const std::size_t at = (b - firstBlock[section]) * kChecksumBlock;
            blockSums[b] =
                detail::blockChecksum(plain[section]->bytes.substr(at, kChecksumBlock), true);
        }
    };
    std::exception_ptr thrown;
    std::thread helper;
    if (total >= kTwoThreadsFrom) {
        try {
            helper = std::thread([&work, &thrown] {
                try {
                    work();
                } catch (...) {
                    thrown = std::current_exception();
                }
            });
        } catch (const std::system_error&) {
            // No thread to be had: this one does it all.
        }
    }
    // Joined whatever happens here: the helper reads what this frame holds.
    struct Joined {
        std::thread& thread;
        ~Joined() {
            if (thread.joinable()) {
                thread.join();
            }
        }
    } joined{helper};
    work();
    if (helper.joinable()) {
        helper.join();
    }
    if (thrown) {
        std::rethrow_exception(thrown);
    }
    for (std::size_t i = 0; i < plain.size(); ++i) {
        const std::span<const std::uint64_t> sums(blockSums.data() + firstBlock[i],
                                                  firstBlock[i + 1] - firstBlock[i]);
        plain[i]->sound =
            sectionChecksumOfBlocks(sums, plain[i]->bytes.size()) == plain[i]->expected;
    }
}

bool fail(std::string* whyNot, std::string reason) {
    if (whyNot != nullptr) {
        *whyNot = std::move(reason);
    }
    return false;
}

// The header of the index open as `fd`, `fileSize` bytes long, into
// `header`: false when it is not a sound header of this format.
bool readHeader(int fd, std::uint64_t fileSize, char (&header)[kHeaderSize], std::string* whyNot) {
    if (fileSize < kHeaderSize || readFullyAt(fd, header, kHeaderSize, 0) != kHeaderSize) {
        return fail(whyNot, "it is shorter than an index header");
    }
    if (std::string_view(header, kIndexMagic.size()) != kIndexMagic) {
        return fail(whyNot, "it is not an index file");
    }
    if (const std::uint32_t version = loadU32(header + header_at::version);
        version != kIndexFormatVersion) {
        return fail(whyNot, std::string("it is of ") +
                                (version > kIndexFormatVersion ? "a newer" : "an older") +
                                " format (version " + std::to_string(version) + ")");
    }
    if (loadU64(header + header_at::headerChecksum) !=
        lineChecksum(std::string_view(header, header_at::headerChecksum))) {
        return fail(whyNot, "its header is damaged");
    }
    if (const std::uint64_t written = loadU64(header + header_at::fileSize); written != fileSize) {
        return fail(whyNot, "it is " + std::to_string(fileSize) + " bytes long, not the " +
                                std::to_string(written) + " it was written with");
    }
    return true;
}

LogIdentity identityIn(const char (&header)[kHeaderSize]) {
    const char* id = header + header_at::identity;
    return {loadU64(id),      loadU64(id + 8),
            loadU64(id + 16), static_cast<std::int64_t>(loadU64(id + 24)),
            loadU64(id + 32), loadU64(id + 40)};
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

std::optional<LogIdentity> IndexFile::headerIdentity(const std::string& path) {
    // Read without counting as used, as open() reads.
    constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    int fd = ::open(path.c_str(), kFlags | O_NOATIME);
    if (fd < 0 && errno == EPERM) {
        fd = ::open(path.c_str(), kFlags);
    }
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat st;
    char header[kHeaderSize];
    const bool sound = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                       readHeader(fd, static_cast<std::uint64_t>(st.st_size), header, nullptr);
    ::close(fd);
    if (!sound) {
        return std::nullopt;
    }
    return identityIn(header);
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
    if (!readHeader(fd, fileSize, header, whyNot)) {
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
    std::vector<SectionCheck> checks;
    for (std::size_t i = 0; i < file->entries_.size(); ++i) {
        const Entry& entry = file->entries_[i];
        SectionCheck& check = checks.emplace_back();
        check.bytes = bytes.substr(entry.offset, entry.length);
        check.expected = checksums[i];
        for (const NamedScan& named : scans) {
            if (named.section == entry.name) {
                check.scan = named.scan;
            }
        }
    }
    checkSections(checks);
    // A file cut short reads as zeros from where it was cut.
    if (!file->intact()) {
        fail(whyNot, "it was cut short while it was read");
        return nullptr;
    }
    for (std::size_t i = 0; i < checks.size(); ++i) {
        if (!checks[i].sound) {
            fail(whyNot, "section " + file->entries_[i].name + " is damaged");
            return nullptr;
        }
    }
    file->identity_ = identityIn(header);
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

#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "index/log_identity.h"
#include "index/mapped_file.h"
#include "index/section_scan.h"

namespace korvantis {

// Reads what one section holds, every read checked against the section's
// end: nothing in an index can make its reader look outside the section.
class SectionReader {
  public:
    explicit SectionReader(std::string_view bytes) : bytes_(bytes) {}

    // The next 8 bytes as a number, the next `length` bytes; nothing (and
    // the reader spent) when the section ends first.
    std::optional<std::uint64_t> u64();
    std::optional<std::string_view> bytes(std::uint64_t length);
    // `length` bytes at `offset` of the whole section, wherever the reader
    // stands; nothing when they are not all inside it.
    std::optional<std::string_view> at(std::uint64_t offset, std::uint64_t length) const;

    bool atEnd() const { return at_ == bytes_.size(); }
    std::uint64_t left() const { return bytes_.size() - at_; }

  private:
    std::string_view bytes_;
    std::size_t at_ = 0;
};

// An index file, checked whole before anything in it is used: its magic,
// format version, header and table checksums, the size it was written
// with, every section lying inside the file, apart from the others, and
// matching its checksum. It stays mapped and holds a shared lock while
// open: the program's own writers and the cache's trimming take the lock
// exclusively before they replace or remove a file. A file that another
// program cuts short anyway reads as zeros from then on (intact() says so).
class IndexFile {
  public:
    // The index at `path`; nothing when there is none or it cannot be used,
    // and then `*whyNot` says why ("it is of a newer format (version 5)").
    // `*absent` is set when there is no file at all. `scans` go through
    // the sections they name as those are checked.
    static std::unique_ptr<IndexFile> open(const std::string& path, std::string* whyNot = nullptr,
                                           bool* absent = nullptr,
                                           std::span<const NamedScan> scans = {});
    // The same over a descriptor already open (and locked, if need be),
    // which the file takes when it is given; left open otherwise.
    static std::unique_ptr<IndexFile> over(int fd, std::string* whyNot = nullptr,
                                           std::span<const NamedScan> scans = {});
    // The log identity the header of the index at `path` records, with
    // nothing but the header checked: what an index is likely to be of,
    // before the long check of the whole says whether it can be used.
    static std::optional<LogIdentity> headerIdentity(const std::string& path);
    ~IndexFile();
    IndexFile(const IndexFile&) = delete;
    IndexFile& operator=(const IndexFile&) = delete;

    const LogIdentity& identity() const { return identity_; }
    std::uint64_t size() const { return mapped_->bytes().size(); }
    // The section named `name`; nothing when the index has none.
    std::optional<std::string_view> section(std::string_view name) const;
    std::vector<std::string> sectionNames() const;
    // False once the file was found cut short since it was opened: nothing
    // read from it since is to be used.
    bool intact() const { return mapped_->intact(); }
    int fileDescriptor() const { return fd_; }

  private:
    struct Entry {
        std::string name;
        std::uint64_t offset;
        std::uint64_t length;
    };
    IndexFile() = default;
    int fd_ = -1;
    LogIdentity identity_;
    std::vector<Entry> entries_;
    std::unique_ptr<MappedFile> mapped_;
};

}  // namespace korvantis

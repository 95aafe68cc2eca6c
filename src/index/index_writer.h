#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "index/log_identity.h"
#include "index/section_checksum.h"

namespace korvantis {

// Writes one index file to a descriptor, section by section, as the bytes
// come: nothing is kept but one buffer and the section table. The header
// goes last, so a file left half-written is never taken for an index.
class IndexWriter {
  public:
    explicit IndexWriter(int fd);

    // A new section named `name` (see isSectionName; each name once).
    void beginSection(std::string_view name);
    void append(std::string_view bytes);
    void appendU64(std::uint64_t value);
    // Into a section begun and still empty: the first `length` bytes of the
    // file `from`, then `tail`, whose checksum together is `whole`. The file's
    // bytes are copied by the kernel, never through this process. False
    // (nothing written) when the section is not empty.
    bool appendFile(int from, std::uint64_t length, std::string_view tail,
                    const SectionChecksum& whole);
    // Into a section begun and still empty: the `length` bytes the file
    // being written already holds from `at`, written there before, then
    // `tail`, whose checksum together is `whole`. False (nothing written)
    // when `at` is not where the section begins.
    bool appendInPlace(int fd, std::uint64_t at, std::uint64_t length, std::string_view tail,
                       const SectionChecksum& whole);
    void endSection();
    // Whatever comes, the file is not to be finished: what it was to hold
    // could not be had (`why`).
    void fail(std::string why) {
        if (failure_.empty()) {
            failure_ = std::move(why);
        }
    }

    // The table, then the header with the log's identity; false when the
    // sections were ill-formed or a write failed, and then `*whyNot` says
    // why ("No space left on device").
    bool finish(const LogIdentity& identity, std::string* whyNot = nullptr);

  private:
    struct Entry {
        std::string name;
        std::uint64_t offset = 0;
        std::uint64_t length = 0;
        std::uint64_t checksum = 0;
    };
    void write(std::string_view bytes);
    void flush();

    int fd_;
    std::uint64_t at_;  // where the buffer's first byte goes
    std::string buffer_;
    std::vector<Entry> entries_;
    bool inSection_ = false;
    SectionChecksum checksum_;
    std::string failure_;  // the first thing that went wrong
};

}  // namespace korvantis

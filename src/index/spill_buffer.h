#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "index/section_checksum.h"

namespace korvantis {

class IndexWriter;

// Bytes of one section-to-be, gathered while a load runs and written out
// when its index is: past a MiB they go to an unnamed file in the
// index folder, so that what a large log's index holds never sits in
// memory whole.
class SpillBuffer {
  public:
    // Spills into `folder` (an unnamed file there, gone with the buffer);
    // or, when `into` is an open file, into it from `at` on, where the index
    // it is copied to will have it: the copy then is no copy (see copyTo).
    // That file stays the caller's.
    explicit SpillBuffer(std::string folder, int into = -1, std::uint64_t at = 0);
    ~SpillBuffer();
    SpillBuffer(const SpillBuffer&) = delete;
    SpillBuffer& operator=(const SpillBuffer&) = delete;

    // Inline: every record of a load passes here, most a few bytes long.
    void append(std::string_view bytes) {
        if (bytes.size() > room_ - pendingSize_ || bytes.empty()) {
            appendLong(bytes);
            return;
        }
        std::memcpy(pending_.get() + pendingSize_, bytes.data(), bytes.size());
        pendingSize_ += bytes.size();
        if (pendingSize_ >= kSpillAt) {
            spill();
        }
    }
    std::uint64_t size() const { return spilled_ + pendingSize_; }
    // Everything appended, into the writer's open section; false when a
    // spill or its reading back failed, and then failure() says why.
    bool copyTo(IndexWriter& writer);
    const std::string& failure() const { return failure_; }

  private:
    // Spilled in whole blocks of the section checksum, so that it takes them
    // without copying; held in room for two, so that what is left after a
    // spill and any append of up to a block fit.
    static constexpr std::size_t kSpillAt = kChecksumBlock;
    static constexpr std::size_t kRoom = 2 * kChecksumBlock;

    std::string_view pending() const { return {pending_.get(), pendingSize_}; }
    // The bytes that do not fit in the room left (or the first ones, before
    // the room is had), a part at a time.
    void appendLong(std::string_view bytes);
    void spill();

    std::string folder_;
    int fd_ = -1;
    bool ownsFile_ = true;
    std::uint64_t at_ = 0;  // where in the file the first byte goes
    std::uint64_t spilled_ = 0;
    // Had at the first append: a buffer that holds nothing has no room.
    std::unique_ptr<char[]> pending_;
    std::size_t room_ = 0;
    std::size_t pendingSize_ = 0;
    std::string failure_;
    // Of the bytes spilled, taken as they go out in whole blocks of the
    // checksum: the index copies them without reading them back.
    SectionChecksum spilledSum_;
};

}  // namespace korvantis

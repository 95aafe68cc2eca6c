#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "load/load_job.h"

namespace korvantis {

// A loaded plain log that can be read on as it grows: where its loaded text
// ends, and the file its path named when it was loaded.
struct FollowedLog {
    std::uint32_t log = 0;  // among the store's logs
    std::string path;
    int fd = -1;  // the store's descriptor of it (not owned)
    dev_t device = 0;
    ino_t inode = 0;
    LoadJob::Continuation loaded;  // what was loaded of it so far
    std::uint64_t seenSize = 0;    // its size when it was last read on
    // A checksum of the last bytes loaded (up to kTailBytes before
    // loaded.offset): a log truncated and written again past its old end
    // looks grown, but holds other bytes there.
    std::optional<std::uint64_t> tailSum;
    static constexpr std::size_t kTailBytes = 4096;
    bool reading = false;  // a continuation is queued or running
    bool stopped = false;

    // What a look at the file finds.
    enum class Change { none, grown, truncated, replaced, removed };
    // Sets the file's identity from the store's descriptor; false when it
    // cannot be followed.
    bool identify();
    // Takes the checksum of the last bytes loaded, once loaded.offset moved.
    void rememberTail();
    Change look() const;
    // The notice that following stopped, for a truncated, replaced or
    // removed log.
    std::string stoppedNotice(Change why) const;

  private:
    // The checksum of the file's bytes before loaded.offset now; nullopt
    // when they cannot all be read.
    std::optional<std::uint64_t> tailSumNow() const;
};

// "NAME is compressed; it is not followed", and so on.
std::string unfollowedNotice(std::string_view path, Unfollowed why);

}  // namespace korvantis

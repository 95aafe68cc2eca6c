#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

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
    bool reading = false;          // a continuation is queued or running
    bool stopped = false;

    // What a look at the file finds.
    enum class Change { none, grown, truncated, replaced };
    // Sets the file's identity from the store's descriptor; false when it
    // cannot be followed.
    bool identify();
    Change look() const;
    // The notice that following stopped, for a truncated or replaced log.
    std::string stoppedNotice(Change why) const;
};

}  // namespace korvantis

#include "load/followed_log.h"

#include <sys/stat.h>

#include "store/log_files.h"

namespace korvantis {

bool FollowedLog::identify() {
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        return false;
    }
    device = st.st_dev;
    inode = st.st_ino;
    seenSize = static_cast<std::uint64_t>(st.st_size);
    return true;
}

FollowedLog::Change FollowedLog::look() const {
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        return Change::none;
    }
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (size < loaded.offset || size < seenSize) {
        return Change::truncated;
    }
    // What was written before the file was replaced is still read.
    if (size > seenSize) {
        return Change::grown;
    }
    if (::stat(path.c_str(), &st) != 0 || st.st_dev != device || st.st_ino != inode) {
        return Change::replaced;
    }
    return Change::none;
}

std::string FollowedLog::stoppedNotice(Change why) const {
    const char* what = why == Change::truncated ? " was truncated" : " was replaced";
    return logName(path) + what + "; following stopped at line " + std::to_string(loaded.lines);
}

}  // namespace korvantis

#include "load/followed_log.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "store/log_files.h"

namespace korvantis {

namespace {

// FNV-1a over 64 bits: any change of the bytes is what matters, not an
// adversary's forgery (a writer may rewrite the log at will anyway).
std::uint64_t checksum(const char* bytes, std::size_t size) {
    std::uint64_t sum = 14695981039346656037ULL;
    for (std::size_t i = 0; i < size; ++i) {
        sum = (sum ^ static_cast<unsigned char>(bytes[i])) * 1099511628211ULL;
    }
    return sum;
}

}  // namespace

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

std::optional<std::uint64_t> FollowedLog::tailSumNow() const {
    const std::size_t size =
        static_cast<std::size_t>(std::min<std::uint64_t>(loaded.offset, kTailBytes));
    char bytes[kTailBytes];
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n =
            ::pread(fd, bytes + got, size - got, static_cast<off_t>(loaded.offset - size + got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return std::nullopt;
        }
        got += static_cast<std::size_t>(n);
    }
    return checksum(bytes, size);
}

void FollowedLog::rememberTail() {
    tailSum = tailSumNow();
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
    // Truncated and written again past the old end: the bytes loaded last
    // are no longer there.
    if (tailSumNow() != tailSum) {
        return Change::truncated;
    }
    // What was written before the file was replaced is still read.
    if (size > seenSize) {
        return Change::grown;
    }
    if (::stat(path.c_str(), &st) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? Change::removed : Change::none;
    }
    if (st.st_dev != device || st.st_ino != inode) {
        return Change::replaced;
    }
    return Change::none;
}

std::string FollowedLog::stoppedNotice(Change why) const {
    const char* what = why == Change::truncated ? " was truncated"
                       : why == Change::removed ? " was removed"
                                                : " was replaced";
    return logName(path) + what + "; following stopped at line " + std::to_string(loaded.lines);
}

std::string unfollowedNotice(std::string_view path, Unfollowed why) {
    const char* what = why == Unfollowed::compressed      ? " is compressed"
                       : why == Unfollowed::standardInput ? " is read once"
                       : why == Unfollowed::pipe          ? " is a pipe"
                                                          : " could not be opened";
    return logName(path) + what + "; it is not followed";
}

}  // namespace korvantis

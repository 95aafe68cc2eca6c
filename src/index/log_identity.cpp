#include "index/log_identity.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "input/full_io.h"
#include "store/line_ref.h"

namespace korvantis {

const char* identityMatchName(IdentityMatch match) {
    switch (match) {
        case IdentityMatch::same:
            return "same";
        case IdentityMatch::grown:
            return "grown";
        case IdentityMatch::changed:
            break;
    }
    return "changed";
}

std::optional<LogIdentity> identityFrom(const LogStat& stat, const RangeChecksum& checksumOf) {
    const std::uint64_t block = std::min(stat.size, kIdentityBlock);
    const auto head = checksumOf(0, block);
    const auto tail = checksumOf(stat.size - block, block);
    if (!head || !tail) {
        return std::nullopt;
    }
    return LogIdentity{stat.device, stat.inode, stat.size, stat.mtimeNs, *head, *tail};
}

IdentityMatch compareIdentity(const LogIdentity& recorded, const LogStat& now,
                              const RangeChecksum& checksumOf) {
    if (now.device != recorded.device || now.inode != recorded.inode || now.size < recorded.size) {
        return IdentityMatch::changed;
    }
    const std::uint64_t block = std::min(recorded.size, kIdentityBlock);
    // The old head and the old tail, read where they were; both differ when
    // the file was rewritten, the tail alone when its last line was
    // completed or rewritten since.
    if (checksumOf(0, block) != recorded.headChecksum ||
        checksumOf(recorded.size - block, block) != recorded.tailChecksum) {
        return IdentityMatch::changed;
    }
    if (now.size > recorded.size) {
        return IdentityMatch::grown;
    }
    // Of the same size and the same ends, but written since: its middle
    // may be another.
    return now.mtimeNs == recorded.mtimeNs ? IdentityMatch::same : IdentityMatch::changed;
}

std::optional<LogStat> statOf(int fd, std::string* whyNot) {
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        if (whyNot != nullptr) {
            *whyNot = std::strerror(errno);
        }
        return std::nullopt;
    }
    return LogStat{
        static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
        static_cast<std::uint64_t>(st.st_size),
        static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

RangeChecksum checksumsOf(int fd) {
    return [fd](std::uint64_t offset, std::uint64_t length) -> std::optional<std::uint64_t> {
        if (length > kIdentityBlock) {
            return std::nullopt;
        }
        auto bytes = std::make_unique_for_overwrite<char[]>(length == 0 ? 1 : length);
        if (readFullyAt(fd, bytes.get(), length, offset) != static_cast<ssize_t>(length)) {
            return std::nullopt;  // shorter than it was, or unreadable
        }
        return lineChecksum(std::string_view(bytes.get(), length));
    };
}

std::optional<LogIdentity> identityOf(int fd, std::string* whyNot) {
    const auto stat = statOf(fd, whyNot);
    if (!stat) {
        return std::nullopt;
    }
    auto identity = identityFrom(*stat, checksumsOf(fd));
    if (!identity && whyNot != nullptr) {
        *whyNot = "it could not be read";
    }
    return identity;
}

IdentityMatch matchLog(const LogIdentity& recorded, int fd) {
    const auto stat = statOf(fd);
    return stat ? compareIdentity(recorded, *stat, checksumsOf(fd)) : IdentityMatch::changed;
}

}  // namespace korvantis

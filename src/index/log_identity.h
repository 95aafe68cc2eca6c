#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace korvantis {

// What tells one log file from another, and the same file grown from a
// changed one: where it lives (device, inode), how long it is, when it was
// last written, and checksums of its first and last MiB.
struct LogIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::uint64_t headChecksum = 0;  // of its first min(size, 1 MiB) bytes
    std::uint64_t tailChecksum = 0;  // of its last min(size, 1 MiB) bytes
    bool operator==(const LogIdentity&) const = default;
};

inline constexpr std::uint64_t kIdentityBlock = std::uint64_t{1} << 20;

// What the file system says of a log now.
struct LogStat {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t mtimeNs = 0;
};

// What an index recorded against the log as it is now.
enum class IdentityMatch {
    same,     // nothing changed: the index holds the whole log
    grown,    // only appended to: the index holds its start, the tail is new
    changed,  // anything else: the index is of another text
};

const char* identityMatchName(IdentityMatch match);

// The checksum of `length` bytes of the log at `offset`; nothing when they
// cannot be read (the file is shorter, or a read fails).
using RangeChecksum =
    std::function<std::optional<std::uint64_t>(std::uint64_t offset, std::uint64_t length)>;

// The identity of a log of `stat` whose bytes `checksumOf` reads.
std::optional<LogIdentity> identityFrom(const LogStat& stat, const RangeChecksum& checksumOf);

// How the log as it is now (`now`, its bytes read by `checksumOf`) stands
// to the log `recorded` was taken of. Grown means: the same device, inode
// and first MiB, a larger size, and the old last MiB where it was.
IdentityMatch compareIdentity(const LogIdentity& recorded, const LogStat& now,
                              const RangeChecksum& checksumOf);

// The same three over an open log file's descriptor.
std::optional<LogStat> statOf(int fd, std::string* whyNot = nullptr);
RangeChecksum checksumsOf(int fd);
std::optional<LogIdentity> identityOf(int fd, std::string* whyNot = nullptr);
IdentityMatch matchLog(const LogIdentity& recorded, int fd);

}  // namespace korvantis

#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace korvantis {

// The layout of an index file, shared by its writer and its reader. Numbers
// are little-endian, as on every machine the program is built for:
//
//   header   kHeaderSize bytes at offset 0 (below)
//   sections one after another, each at a multiple of kSectionAlignment
//   table    sectionCount entries of kTableEntrySize bytes, after the sections
//
// The header is written last: a file cut short while it was written has no
// valid header and is never used.
static_assert(std::endian::native == std::endian::little,
              "index files are read in the machine's own byte order");

inline constexpr std::string_view kIndexMagic{"KORVIDX\n", 8};
// Raised whenever what a section holds or how it is laid out changes: an
// index of another version is made again, never read.
inline constexpr std::uint32_t kIndexFormatVersion = 4;

inline constexpr std::size_t kHeaderSize = 128;
inline constexpr std::size_t kSectionAlignment = 64;
inline constexpr std::size_t kSectionNameSize = 24;
inline constexpr std::size_t kTableEntrySize = kSectionNameSize + 3 * 8;
inline constexpr std::uint32_t kMaxSections = 64;

// Offsets within the header.
namespace header_at {
inline constexpr std::size_t magic = 0;
inline constexpr std::size_t version = 8;        // u32
inline constexpr std::size_t sectionCount = 12;  // u32
inline constexpr std::size_t tableOffset = 16;
inline constexpr std::size_t fileSize = 24;  // the whole file's size as written
inline constexpr std::size_t identity = 32;  // LogIdentity: six u64
inline constexpr std::size_t tableChecksum = 80;
inline constexpr std::size_t headerChecksum = 120;  // of the bytes before it
}  // namespace header_at

inline std::uint64_t loadU64(const char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

inline std::uint32_t loadU32(const char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline void storeU64(char* p, std::uint64_t v) {
    std::memcpy(p, &v, 8);
}
inline void storeU32(char* p, std::uint32_t v) {
    std::memcpy(p, &v, 4);
}

// A section's name: 1 to kSectionNameSize - 1 of a-z 0-9 and '-'.
inline bool isSectionName(std::string_view name) {
    if (name.empty() || name.size() >= kSectionNameSize) {
        return false;
    }
    for (const char c : name) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-')) {
            return false;
        }
    }
    return true;
}

}  // namespace korvantis

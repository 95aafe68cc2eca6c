#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace korvantis {

// The checksum of a section's bytes, taken block by block (1 MiB each) so
// that a writer can take it as the bytes go out, and a reader can check a
// block without the rest. Not cryptographic: it tells a damaged or foreign
// file, not a forged one (a forged index can only give wrong rows, never
// reads outside the file).
inline constexpr std::size_t kChecksumBlock = std::size_t{1} << 20;

namespace detail {
// One block's checksum, taken with the processor's wide instructions when
// asked and it has them: the two ways give the same sum.
std::uint64_t blockChecksum(std::string_view block, bool wideIfAble);
}  // namespace detail

// The checksum of `bytes` in one go.
std::uint64_t sectionChecksum(std::string_view bytes);

// The same from the blocks' own checksums (detail::blockChecksum of each
// kChecksumBlock bytes, the last one shorter), in order, and the length of
// the whole: blocks may then be summed apart, on several threads.
std::uint64_t sectionChecksumOfBlocks(std::span<const std::uint64_t> blockSums,
                                      std::uint64_t length);

// The same checksum taken over bytes given in pieces of any size.
class SectionChecksum {
  public:
    void add(std::string_view bytes);
    std::uint64_t finish() const;

  private:
    std::uint64_t state_ = 0;
    std::uint64_t length_ = 0;
    std::string partial_;  // the bytes of the block being filled
};

}  // namespace korvantis

#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "store/large_block.h"

namespace korvantis {

// Append-only store of texts in blocks. Stored texts never move, so
// string_views into them stay valid for the arena's lifetime. Blocks start
// small and double up to the arena's block size, so that a few texts take
// little room and many take few large blocks (see LargeBlock).
class TextArena {
  public:
    static constexpr std::size_t kBlockSize = std::size_t{8} << 20;
    static constexpr std::size_t kFirstBlockSize = std::size_t{64} << 10;

    explicit TextArena(std::size_t blockSize = kBlockSize) : blockSize_(blockSize) {}

    // Copies `text` in and returns the stored copy. `padding` readable bytes
    // (unspecified content) follow the copy, for parsers that read ahead.
    std::string_view store(std::string_view text, std::size_t padding = 0);
    // Room for `bytes` bytes of the caller's, kept like a stored text;
    // `padding` as for store().
    char* allocate(std::size_t bytes, std::size_t padding = 0);

  private:
    struct Block {
        LargeBlock data;
        std::size_t used = 0;
    };
    std::vector<Block> blocks_;
    std::size_t blockSize_;
};

}  // namespace korvantis

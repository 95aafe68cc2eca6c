#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

namespace korvantis {

// Append-only store of texts in large blocks. Stored texts never move, so
// string_views into them stay valid for the arena's lifetime.
class TextArena {
  public:
    static constexpr std::size_t kBlockSize = std::size_t{8} << 20;

    explicit TextArena(std::size_t blockSize = kBlockSize) : blockSize_(blockSize) {}

    // Copies `text` in and returns the stored copy. `padding` readable bytes
    // (unspecified content) follow the copy, for parsers that read ahead.
    std::string_view store(std::string_view text, std::size_t padding = 0);
    std::size_t bytesReserved() const { return reserved_; }

  private:
    struct Block {
        std::unique_ptr<char[]> data;
        std::size_t size = 0;
        std::size_t used = 0;
    };
    std::vector<Block> blocks_;
    std::size_t blockSize_;
    std::size_t reserved_ = 0;
};

}  // namespace korvantis

#include "store/text_arena.h"

#include <algorithm>
#include <cstring>

namespace korvantis {

std::string_view TextArena::store(std::string_view text, std::size_t padding) {
    char* dest = allocate(text.size(), padding);
    if (!text.empty()) {
        std::memcpy(dest, text.data(), text.size());
    }
    return {dest, text.size()};
}

char* TextArena::allocate(std::size_t bytes, std::size_t padding) {
    const std::size_t need = bytes + padding;
    if (blocks_.empty() || blocks_.back().data.size() - blocks_.back().used < need) {
        // The tail of the old block is left unused: at most one text's worth
        // per block.
        const std::size_t grown =
            blocks_.empty() ? kFirstBlockSize : blocks_.back().data.size() * 2;
        Block block;
        block.data = LargeBlock(std::max(std::min(grown, blockSize_), need));
        blocks_.push_back(std::move(block));
    }
    Block& block = blocks_.back();
    char* dest = block.data.data() + block.used;
    // The padding is not counted as used: the next text overwrites it.
    block.used += bytes;
    return dest;
}

}  // namespace korvantis

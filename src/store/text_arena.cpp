#include "store/text_arena.h"

#include <algorithm>
#include <cstring>

namespace korvantis {

std::string_view TextArena::store(std::string_view text, std::size_t padding) {
    const std::size_t need = text.size() + padding;
    if (blocks_.empty() || blocks_.back().size - blocks_.back().used < need) {
        // The tail of the old block is left unused: at most one line's worth
        // per 8 MB block.
        Block block;
        block.size = std::max(blockSize_, need);
        block.data.reset(new char[block.size]);
        reserved_ += block.size;
        blocks_.push_back(std::move(block));
    }
    Block& block = blocks_.back();
    char* dest = block.data.get() + block.used;
    if (!text.empty()) {
        std::memcpy(dest, text.data(), text.size());
    }
    // The padding is not counted as used: the next text overwrites it.
    block.used += text.size();
    return {dest, text.size()};
}

}  // namespace korvantis

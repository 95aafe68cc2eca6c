#include "index/section_checksum.h"

#include <algorithm>

#include "index/index_format.h"
#include "store/line_ref.h"

namespace korvantis {

namespace {

// One block's checksum folded into what came before it.
std::uint64_t folded(std::uint64_t state, std::string_view block) {
    char pair[16];
    storeU64(pair, state);
    storeU64(pair + 8, lineChecksum(block));
    return lineChecksum(std::string_view(pair, sizeof pair));
}

// The blocks' fold, closed with the whole length: sections that differ
// only by trailing bytes of one block differ.
std::uint64_t closed(std::uint64_t state, std::uint64_t length) {
    char pair[16];
    storeU64(pair, state);
    storeU64(pair + 8, length);
    return lineChecksum(std::string_view(pair, sizeof pair));
}

}  // namespace

std::uint64_t sectionChecksum(std::string_view bytes) {
    std::uint64_t state = 0;
    for (std::size_t at = 0; at < bytes.size(); at += kChecksumBlock) {
        state = folded(state, bytes.substr(at, kChecksumBlock));
    }
    return closed(state, bytes.size());
}

void SectionChecksum::add(std::string_view bytes) {
    length_ += bytes.size();
    while (!bytes.empty()) {
        if (partial_.empty() && bytes.size() >= kChecksumBlock) {
            state_ = folded(state_, bytes.substr(0, kChecksumBlock));  // no copy
            bytes.remove_prefix(kChecksumBlock);
            continue;
        }
        const std::size_t taken = std::min(bytes.size(), kChecksumBlock - partial_.size());
        partial_.append(bytes.substr(0, taken));
        bytes.remove_prefix(taken);
        if (partial_.size() == kChecksumBlock) {
            state_ = folded(state_, partial_);
            partial_.clear();
        }
    }
}

std::uint64_t SectionChecksum::finish() const {
    return closed(partial_.empty() ? state_ : folded(state_, partial_), length_);
}

}  // namespace korvantis

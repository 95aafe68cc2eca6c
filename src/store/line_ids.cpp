#include "store/line_ids.h"

namespace korvantis {

namespace {

constexpr std::uint64_t kMask61 = (std::uint64_t{1} << 61) - 1;

std::uint64_t mix(std::uint64_t x) {
    // splitmix64's finaliser: every input bit affects every output bit.
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ull;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebull;
    x ^= x >> 31;
    return x;
}

std::uint64_t load(const Uuid& id, int from) {
    std::uint64_t v = 0;
    for (int i = from; i < from + 8; ++i) {
        v = v << 8 | id.bytes[static_cast<std::size_t>(i)];
    }
    return v;
}

void store(Uuid& id, int from, std::uint64_t v) {
    for (int i = from + 7; i >= from; --i) {
        id.bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v);
        v >>= 8;
    }
}

}  // namespace

LineIds::LineIds() {
    // Random bits from a fresh random id; its six fixed bits are skipped.
    auto bits = [next = Uuid::random(), part = 0]() mutable {
        if (part == 2) {
            next = Uuid::random();
            part = 0;
        }
        return mix(load(next, 8 * part++));
    };
    for (auto& key : keys_) {
        key = bits();
    }
    tag_ = bits() & kMask61;
}

Uuid LineIds::idOf(std::uint64_t index) const {
    // A Feistel network over two 61-bit halves: a permutation whatever the
    // round function.
    std::uint64_t left = index & kMask61;
    std::uint64_t right = tag_;
    for (const std::uint64_t key : keys_) {
        const std::uint64_t next = left ^ (mix(right ^ key) & kMask61);
        left = right;
        right = next;
    }
    // 122 bits around the version (4) and variant (binary 10) bits.
    const std::uint64_t high60 = left >> 1;
    const std::uint64_t low62 = (left & 1) << 61 | right;
    Uuid id;
    store(id, 0, (high60 >> 12) << 16 | std::uint64_t{0x4} << 12 | (high60 & 0xfff));
    store(id, 8, std::uint64_t{0x2} << 62 | low62);
    return id;
}

std::optional<std::uint64_t> LineIds::indexOf(const Uuid& id) const {
    const std::uint64_t high = load(id, 0);
    const std::uint64_t low = load(id, 8);
    if (((high >> 12) & 0xf) != 0x4 || (low >> 62) != 0x2) {
        return std::nullopt;
    }
    const std::uint64_t high60 = (high >> 16) << 12 | (high & 0xfff);
    std::uint64_t left = high60 << 1 | ((low >> 61) & 1);
    std::uint64_t right = low & kMask61;
    for (int r = kRounds - 1; r >= 0; --r) {
        const std::uint64_t previous = right ^ (mix(left ^ keys_[r]) & kMask61);
        right = left;
        left = previous;
    }
    if (right != tag_) {
        return std::nullopt;
    }
    return left;
}

}  // namespace korvantis

#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace korvantis {

// Where a stored line lies: which loaded log, at which byte, how long, and a
// checksum of its bytes, so that a log changed after loading is noticed
// instead of showing other text.
struct LineRef {
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
    std::uint32_t log = 0;  // index into the store's loaded logs
    std::uint64_t checksum = 0;
    bool operator==(const LineRef&) const = default;
};

namespace detail {

// The high and low halves of a 128-bit product folded into 64 bits: one
// multiplication mixes 16 bytes of input.
inline std::uint64_t foldedProduct(std::uint64_t a, std::uint64_t b) {
    __extension__ typedef unsigned __int128 Wide;
    const Wide m = static_cast<Wide>(a) * b;
    return static_cast<std::uint64_t>(m) ^ static_cast<std::uint64_t>(m >> 64);
}

inline std::uint64_t read64(const char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

inline std::uint64_t read32(const char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

}  // namespace detail

// A fast 64-bit checksum of a line's bytes (not cryptographic: it tells a
// log rewritten in place from the one that was read). It also places texts
// in hash tables, so every bit depends on every byte. Every line of a log
// passes here: 16 bytes a multiplication, three chains side by side over
// long lines, and the last 16 bytes read where they end rather than copied.
inline std::uint64_t lineChecksum(std::string_view bytes) {
    using detail::foldedProduct;
    using detail::read32;
    using detail::read64;
    constexpr std::uint64_t k0 = 0xa0761d6478bd642full;
    constexpr std::uint64_t k1 = 0xe7037ed1a0b428dbull;
    constexpr std::uint64_t k2 = 0x8ebc6af09c88c6e3ull;
    constexpr std::uint64_t k3 = 0x589965cc75374cc3ull;
    const char* p = bytes.data();
    const std::size_t n = bytes.size();
    std::uint64_t seed = k0 ^ n;
    std::uint64_t a = 0;
    std::uint64_t b = 0;
    if (n <= 16) {
        if (n >= 4) {
            // Two overlapping pairs of 4 bytes cover every byte.
            const std::size_t step = (n >> 3) << 2;
            a = read32(p) << 32 | read32(p + step);
            b = read32(p + n - 4) << 32 | read32(p + n - 4 - step);
        } else if (n > 0) {  // an empty line's bytes may have no address at all
            a = std::uint64_t{static_cast<std::uint8_t>(p[0])} << 16 |
                std::uint64_t{static_cast<std::uint8_t>(p[n >> 1])} << 8 |
                static_cast<std::uint8_t>(p[n - 1]);
        }
    } else {
        std::size_t left = n;
        if (left > 48) {
            std::uint64_t seed1 = seed;
            std::uint64_t seed2 = seed;
            do {
                seed = foldedProduct(read64(p) ^ k1, read64(p + 8) ^ seed);
                seed1 = foldedProduct(read64(p + 16) ^ k2, read64(p + 24) ^ seed1);
                seed2 = foldedProduct(read64(p + 32) ^ k3, read64(p + 40) ^ seed2);
                p += 48;
                left -= 48;
            } while (left > 48);
            seed ^= seed1 ^ seed2;
        }
        while (left > 16) {
            seed = foldedProduct(read64(p) ^ k1, read64(p + 8) ^ seed);
            p += 16;
            left -= 16;
        }
        a = read64(p + left - 16);
        b = read64(p + left - 8);
    }
    return foldedProduct(k1 ^ n, foldedProduct(a ^ k1, b ^ seed));
}

}  // namespace korvantis

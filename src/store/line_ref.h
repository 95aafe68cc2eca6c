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

// A fast 64-bit checksum of a line's bytes (not cryptographic: it tells a
// log rewritten in place from the one that was read).
inline std::uint64_t lineChecksum(std::string_view bytes) {
    constexpr std::uint64_t kMul = 0x9e3779b97f4a7c15ull;
    constexpr std::uint64_t kMul2 = 0xff51afd7ed558ccdull;
    std::uint64_t a = 0x243f6a8885a308d3ull ^ bytes.size();
    std::uint64_t b = 0x13198a2e03707344ull;
    const char* p = bytes.data();
    std::size_t n = bytes.size();
    __extension__ typedef unsigned __int128 Wide;
    auto mix = [](std::uint64_t x, std::uint64_t y) {
        const Wide m = static_cast<Wide>(x) * y;
        return static_cast<std::uint64_t>(m) ^ static_cast<std::uint64_t>(m >> 64);
    };
    // Four independent chains over long lines: the multiplications then
    // overlap instead of each waiting for the one before.
    if (n >= 64) {
        std::uint64_t c = 0x452821e638d01377ull;
        std::uint64_t d = 0xbe5466cf34e90c6cull;
        while (n >= 32) {
            std::uint64_t w[4];
            std::memcpy(w, p, 32);
            a = mix(a ^ w[0], kMul);
            b = mix(b ^ w[1], kMul2);
            c = mix(c ^ w[2], kMul);
            d = mix(d ^ w[3], kMul2);
            p += 32;
            n -= 32;
        }
        a = mix(a ^ c, kMul2);
        b = mix(b ^ d, kMul);
    }
    while (n >= 16) {
        std::uint64_t x;
        std::uint64_t y;
        std::memcpy(&x, p, 8);
        std::memcpy(&y, p + 8, 8);
        a = mix(a ^ x, kMul);
        b = mix(b ^ y, kMul2);
        p += 16;
        n -= 16;
    }
    std::uint64_t tail[2] = {0, 0};
    if (n > 0) {  // an empty line's bytes may have no address at all
        std::memcpy(tail, p, n);
    }
    a = mix(a ^ tail[0], kMul);
    b = mix(b ^ tail[1], kMul2);
    return mix(a ^ (b << 1 | b >> 63), kMul);
}

}  // namespace korvantis

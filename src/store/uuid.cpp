#include "store/uuid.h"

#include <cstring>
#include <random>

namespace korvantis {

namespace {

std::uint64_t rotl(std::uint64_t x, int k) {
    return (x << k) | (x >> (64 - k));
}

}  // namespace

Uuid Uuid::random() {
    // One generator per thread: no lock, and still one id stream per thread
    // seeded from the system's entropy source.
    thread_local UuidGenerator generator;
    return generator.next();
}

UuidGenerator::UuidGenerator() {
    std::random_device device;
    do {
        for (auto& word : s_) {
            word = (std::uint64_t{device()} << 32) ^ device();
        }
    } while ((s_[0] | s_[1] | s_[2] | s_[3]) == 0);
}

Uuid UuidGenerator::next() {
    // xoshiro256**: fast, and with 256 bits of state good enough that two ids
    // of one store never collide in practice.
    std::uint64_t words[2];
    for (auto& w : words) {
        w = rotl(s_[1] * 5, 7) * 9;
        const std::uint64_t t = s_[1] << 17;
        s_[2] ^= s_[0];
        s_[3] ^= s_[1];
        s_[1] ^= s_[2];
        s_[0] ^= s_[3];
        s_[2] ^= t;
        s_[3] = rotl(s_[3], 45);
    }
    Uuid id;
    std::memcpy(id.bytes.data(), words, sizeof words);
    id.bytes[6] = static_cast<std::uint8_t>((id.bytes[6] & 0x0f) | 0x40);  // version 4
    id.bytes[8] = static_cast<std::uint8_t>((id.bytes[8] & 0x3f) | 0x80);  // RFC 4122 variant
    return id;
}

}  // namespace korvantis

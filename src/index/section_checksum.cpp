#include "index/section_checksum.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "index/index_format.h"
#include "store/line_ref.h"

namespace korvantis {

namespace {

// A block's bytes go through eight 64-bit lanes, 64 bytes a step, each
// lane adding the product of its word's halves (the word mixed with a key
// of its place) and its neighbour's word. The lanes are independent, so a
// processor with AVX2 sums four at a time: a reopening checks every byte
// of its index, which should cost little more than reading them.
// The key moves on by a word at each step, and the lanes are scrambled
// every kKeyedSteps steps, so that words that trade places change the sum.
constexpr std::size_t kLanes = 8;
constexpr std::size_t kStep = kLanes * 8;
constexpr std::size_t kKeyedSteps = 16;
constexpr std::uint64_t kKeys[kLanes + kKeyedSteps] = {
    0xbe4ba423396cfeb8, 0x1cad21f72c81017c, 0xdb979083e96dd4de, 0x1f67b3b7a4a44072,
    0x78e5c0cc4ee679cb, 0x2172ffcc7dd05a82, 0x8e2443f7744608b8, 0x4c263a81e69035e0,
    0xcb00c391bb52283c, 0xa32e531b8b65d088, 0x4ef90da297486471, 0xd8acdea946ef1938,
    0x3f349ce33f76faa8, 0x1d4f0bc7c7bbdcf9, 0x3159b4cd4be0518a, 0x647378d9c97e9fc8,
    0xc3ebd33483acc5ea, 0xeb6313faffa081c5, 0x49daf0b751dd0d17, 0x9e68d429265516d3,
    0xfca1477d58be162b, 0xce31d07ad1b8f88f, 0x280416958f3acb45, 0x7e404bbbcafbd7af,
};

constexpr std::uint64_t kScramble = 0x9e3779b1;

void addSteps(std::uint64_t (&into)[kLanes], const char* p, std::size_t steps) {
    // Lanes of its own: the bytes read may alias the caller's array.
    std::uint64_t lanes[kLanes];
    std::copy(std::begin(into), std::end(into), lanes);
    for (std::size_t s = 0; s < steps; ++s, p += kStep) {
        const std::uint64_t* keys = kKeys + s % kKeyedSteps;
        for (std::size_t j = 0; j < kLanes; ++j) {
            const std::uint64_t word = loadU64(p + 8 * j);
            const std::uint64_t keyed = word ^ keys[j];
            lanes[j ^ 1] += word;
            lanes[j] += (keyed & 0xffffffff) * (keyed >> 32);
        }
        if (s % kKeyedSteps == kKeyedSteps - 1) {
            for (std::size_t j = 0; j < kLanes; ++j) {
                lanes[j] = (lanes[j] ^ (lanes[j] >> 47) ^ kKeys[j]) * kScramble;
            }
        }
    }
    std::copy(std::begin(lanes), std::end(lanes), into);
}

#if defined(__x86_64__)
// The same sums four lanes to an instruction.
[[gnu::target("avx2")]] void addStepsWide(std::uint64_t (&into)[kLanes], const char* p,
                                          std::size_t steps) {
    __m256i lanes[2];
    std::memcpy(lanes, into, sizeof lanes);
    const __m256i scramble = _mm256_set1_epi64x(kScramble);
    for (std::size_t s = 0; s < steps; ++s, p += kStep) {
        const std::uint64_t* keys = kKeys + s % kKeyedSteps;
        for (std::size_t h = 0; h < 2; ++h) {
            const __m256i word = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p) + h);
            const __m256i key = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(keys) + h);
            const __m256i keyed = _mm256_xor_si256(word, key);
            const __m256i product = _mm256_mul_epu32(keyed, _mm256_srli_epi64(keyed, 32));
            // Each word to its neighbour: lanes 0 and 1, 2 and 3 trade.
            const __m256i traded = _mm256_shuffle_epi32(word, 0x4e);
            lanes[h] = _mm256_add_epi64(lanes[h], _mm256_add_epi64(product, traded));
        }
        if (s % kKeyedSteps == kKeyedSteps - 1) {
            for (std::size_t h = 0; h < 2; ++h) {
                const __m256i key = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kKeys) + h);
                const __m256i x = _mm256_xor_si256(
                    _mm256_xor_si256(lanes[h], _mm256_srli_epi64(lanes[h], 47)), key);
                // x * kScramble modulo 2^64, from two 32-bit products.
                const __m256i low = _mm256_mul_epu32(x, scramble);
                const __m256i high = _mm256_mul_epu32(_mm256_srli_epi64(x, 32), scramble);
                lanes[h] = _mm256_add_epi64(low, _mm256_slli_epi64(high, 32));
            }
        }
    }
    std::memcpy(into, lanes, sizeof lanes);
}

bool wide() {
    static const bool wide = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
    return wide;
}
#endif

}  // namespace

namespace detail {

std::uint64_t blockChecksum(std::string_view block, bool wideIfAble) {
    std::uint64_t lanes[kLanes];
    std::copy(std::begin(kKeys), std::begin(kKeys) + kLanes, lanes);
    const std::size_t steps = block.size() / kStep;
#if defined(__x86_64__)
    if (wideIfAble && wide()) {
        addStepsWide(lanes, block.data(), steps);
    } else {
        addSteps(lanes, block.data(), steps);
    }
#else
    (void)wideIfAble;
    addSteps(lanes, block.data(), steps);
#endif
    // The lanes, the bytes short of a step and the length, mixed whole.
    char last[kStep + 16];
    std::memcpy(last, lanes, kStep);
    storeU64(last + kStep, lineChecksum(block.substr(steps * kStep)));
    storeU64(last + kStep + 8, block.size());
    return lineChecksum(std::string_view(last, sizeof last));
}

}  // namespace detail

namespace {

// A block's checksum folded into what came before it.
std::uint64_t foldedSum(std::uint64_t state, std::uint64_t blockSum) {
    char pair[16];
    storeU64(pair, state);
    storeU64(pair + 8, blockSum);
    return lineChecksum(std::string_view(pair, sizeof pair));
}
std::uint64_t folded(std::uint64_t state, std::string_view block) {
    return foldedSum(state, detail::blockChecksum(block, true));
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

std::uint64_t sectionChecksumOfBlocks(std::span<const std::uint64_t> blockSums,
                                      std::uint64_t length) {
    std::uint64_t state = 0;
    for (const std::uint64_t sum : blockSums) {
        state = foldedSum(state, sum);
    }
    return closed(state, length);
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

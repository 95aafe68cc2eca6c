// Searching text for a needle regardless of ASCII case: what a filter's text
// terms do to every row, so the search looks at 16 positions at a time.

#include "query/folded_search.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace korvantis {

namespace {

constexpr std::array<unsigned char, 256> makeFoldTable() {
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c) {
        table[c] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    }
    return table;
}
constexpr std::array<unsigned char, 256> kFold = makeFoldTable();

unsigned char fold(char c) {
    return kFold[static_cast<unsigned char>(c)];
}

char upper(char folded) {
    return folded >= 'a' && folded <= 'z' ? static_cast<char>(folded - ('a' - 'A')) : folded;
}

bool equalFolded(const char* text, const char* foldedNeedle, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if (fold(text[i]) != static_cast<unsigned char>(foldedNeedle[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

char foldAscii(char c) {
    return static_cast<char>(fold(c));
}

bool equalsFolded(std::string_view word, std::string_view foldedName) {
    return foldedName.size() == word.size() &&
           std::equal(word.begin(), word.end(), foldedName.begin(),
                      [](char a, char b) { return fold(a) == static_cast<unsigned char>(b); });
}

#if defined(__SSE2__)
namespace {

// Start positions among the 16 from `at` whose first and last bytes fit the
// needle's, in either case, as a bit mask.
class EndsFilter {
  public:
    explicit EndsFilter(std::string_view foldedNeedle)
        : length_(foldedNeedle.size()),
          firstLower_(_mm_set1_epi8(foldedNeedle.front())),
          firstUpper_(_mm_set1_epi8(upper(foldedNeedle.front()))),
          lastLower_(_mm_set1_epi8(foldedNeedle.back())),
          lastUpper_(_mm_set1_epi8(upper(foldedNeedle.back()))) {}

    // Reads [at, at + length - 1 + 16).
    unsigned candidates(const char* at) const {
        const __m128i head = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        const __m128i tail = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + length_ - 1));
        const __m128i headFits =
            _mm_or_si128(_mm_cmpeq_epi8(head, firstLower_), _mm_cmpeq_epi8(head, firstUpper_));
        const __m128i tailFits =
            _mm_or_si128(_mm_cmpeq_epi8(tail, lastLower_), _mm_cmpeq_epi8(tail, lastUpper_));
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(headFits, tailFits)));
    }

    // The same for a text of 16 bytes or more with fewer than 16 start
    // positions: the last bytes are read as the text's last 16 and the mask
    // shifted to their starts, so nothing past the end is read.
    unsigned candidatesOfShort(const char* text, std::size_t starts) const {
        const __m128i head = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
        const __m128i tail =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + starts + length_ - 1 - 16));
        const __m128i headFits =
            _mm_or_si128(_mm_cmpeq_epi8(head, firstLower_), _mm_cmpeq_epi8(head, firstUpper_));
        const __m128i tailFits =
            _mm_or_si128(_mm_cmpeq_epi8(tail, lastLower_), _mm_cmpeq_epi8(tail, lastUpper_));
        const auto headMask = static_cast<unsigned>(_mm_movemask_epi8(headFits));
        const auto tailMask = static_cast<unsigned>(_mm_movemask_epi8(tailFits)) >> (16 - starts);
        return headMask & tailMask;
    }

  private:
    std::size_t length_;
    __m128i firstLower_, firstUpper_, lastLower_, lastUpper_;
};

// Whether one of the candidate positions in `mask`, counted from `at`, starts
// the needle (its first and last bytes are known to fit).
bool anyCandidateFits(const char* at, unsigned mask, std::string_view foldedNeedle) {
    const std::size_t m = foldedNeedle.size();
    while (mask != 0) {
        const unsigned bit = static_cast<unsigned>(__builtin_ctz(mask));
        if (m <= 2 || equalFolded(at + bit + 1, foldedNeedle.data() + 1, m - 2)) {
            return true;
        }
        mask &= mask - 1;
    }
    return false;
}

}  // namespace
#endif

bool containsFolded(std::string_view haystack, std::string_view foldedNeedle) {
    const std::size_t m = foldedNeedle.size();
    const std::size_t n = haystack.size();
    if (m == 0) {
        return true;
    }
    if (m > n) {
        return false;
    }
    const char* hay = haystack.data();
#if defined(__SSE2__)
    // Sixteen start positions at a time; only those whose first and last
    // bytes fit are compared in full.
    const EndsFilter filter(foldedNeedle);
    const std::size_t starts = n - m + 1;  // start positions to try
    if (starts < 16 && n >= 16) {
        return anyCandidateFits(hay, filter.candidatesOfShort(hay, starts), foldedNeedle);
    }
    if (starts < 16) {
        // All of them in one step, read from a padded copy: reading past the
        // end of the text itself is not allowed.
        constexpr std::size_t kPadded = 64;
        if (n + 16 <= kPadded) {
            char padded[kPadded] = {};
            std::memcpy(padded, hay, n);
            const unsigned mask = filter.candidates(padded) & ((1u << starts) - 1);
            return anyCandidateFits(hay, mask, foldedNeedle);
        }
    } else {
        std::size_t i = 0;
        for (; i + 16 <= starts; i += 16) {
            if (anyCandidateFits(hay + i, filter.candidates(hay + i), foldedNeedle)) {
                return true;
            }
        }
        // The last few start positions: one more step ending at the last,
        // overlapping positions already tried.
        if (i < starts) {
            const std::size_t at = starts - 16;
            return anyCandidateFits(hay + at, filter.candidates(hay + at), foldedNeedle);
        }
        return false;
    }
#endif
    const char* needle = foldedNeedle.data();
    const unsigned char first = static_cast<unsigned char>(needle[0]);
    for (std::size_t i = 0; i + m <= n; ++i) {
        if (fold(hay[i]) == first && equalFolded(hay + i + 1, needle + 1, m - 1)) {
            return true;
        }
    }
    return false;
}

}  // namespace korvantis

#include "rules/wildcard_pattern.h"

#include <cstring>

namespace korvantis {

namespace {

// Length of the UTF-8 character starting with `lead` (1 for a stray byte).
std::size_t charLength(unsigned char lead) {
    return lead < 0xc0 ? 1 : lead < 0xe0 ? 2 : lead < 0xf0 ? 3 : 4;
}

char fold(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

WildcardPattern::WildcardPattern(std::string_view value, Anchor anchor, bool folded) {
    // Split at the unescaped stars; empty runs tell where the stars are.
    std::vector<Segment> runs(1);
    for (std::size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        bool any = false;
        if (c == '\\' && i + 1 < value.size() &&
            (value[i + 1] == '*' || value[i + 1] == '?' || value[i + 1] == '\\')) {
            c = value[++i];
        } else if (c == '*') {
            runs.emplace_back();
            continue;
        } else if (c == '?') {
            any = true;
        }
        Segment& run = runs.back();
        run.bytes.push_back(folded ? fold(c) : c);
        run.anyChar.push_back(any);
        run.hasAnyChar = run.hasAnyChar || any;
    }
    const bool starred = runs.size() > 1;
    leadingStar_ = anchor == Anchor::contains || anchor == Anchor::endsWith ||
                   (starred && runs.front().bytes.empty());
    trailingStar_ = anchor == Anchor::contains || anchor == Anchor::startsWith ||
                    (starred && runs.back().bytes.empty());
    for (Segment& run : runs) {
        if (!run.bytes.empty()) {
            segments_.push_back(std::move(run));
        }
    }
    if (segments_.empty()) {
        // Only stars (any text), or nothing at all (only the empty text).
        matchesAll_ = starred || leadingStar_ || trailingStar_;
        return;
    }
    literal_ = segments_.size() == 1 && !segments_[0].hasAnyChar;
}

std::string WildcardPattern::sameness() const {
    std::string out{leadingStar_ ? '*' : '-', trailingStar_ ? '*' : '-', matchesAll_ ? '*' : '-'};
    for (const Segment& segment : segments_) {
        out += std::to_string(segment.bytes.size()) + ':';
        for (std::size_t k = 0; k < segment.bytes.size(); ++k) {
            out.push_back(segment.bytes[k]);
            out.push_back(segment.anyChar[k] ? '?' : '=');
        }
    }
    return out;
}

std::size_t WildcardPattern::matchAt(const Segment& segment, std::string_view text,
                                     std::size_t at) {
    const std::size_t n = segment.bytes.size();
    if (!segment.hasAnyChar) {
        return text.size() - at >= n && std::memcmp(text.data() + at, segment.bytes.data(), n) == 0
                   ? at + n
                   : std::string_view::npos;
    }
    for (std::size_t k = 0; k < n; ++k) {
        if (at >= text.size()) {
            return std::string_view::npos;
        }
        if (segment.anyChar[k]) {
            at += charLength(static_cast<unsigned char>(text[at]));
            if (at > text.size()) {
                return std::string_view::npos;
            }
        } else if (text[at++] != segment.bytes[k]) {
            return std::string_view::npos;
        }
    }
    return at;
}

bool WildcardPattern::matches(std::string_view text) const {
    const std::size_t count = segments_.size();
    if (count == 0) {
        return matchesAll_ || text.empty();
    }
    if (literal_) {
        const std::string_view lit = segments_[0].bytes;
        if (leadingStar_ && trailingStar_) {
            return text.find(lit) != std::string_view::npos;
        }
        if (leadingStar_) {
            return text.ends_with(lit);
        }
        if (trailingStar_) {
            return text.starts_with(lit);
        }
        return text == lit;
    }
    std::size_t at = 0;
    std::size_t first = 0;
    // Without a star before it, the first segment is held at the start.
    if (!leadingStar_) {
        at = matchAt(segments_[0], text, 0);
        if (at == std::string_view::npos) {
            return false;
        }
        first = 1;
        if (count == 1) {
            return trailingStar_ || at == text.size();
        }
    }
    // Segments between stars, each at its leftmost place: a later place
    // never leaves more room to the ones after it.
    const std::size_t last = trailingStar_ ? count : count - 1;
    for (std::size_t s = first; s < last; ++s) {
        const Segment& segment = segments_[s];
        std::size_t found = std::string_view::npos;
        for (std::size_t from = at; from <= text.size();
             from += from < text.size() ? charLength(static_cast<unsigned char>(text[from])) : 1) {
            if (!segment.bytes.empty() && !segment.anyChar[0]) {
                const void* hit =
                    std::memchr(text.data() + from, segment.bytes[0], text.size() - from);
                if (hit == nullptr) {
                    break;
                }
                from = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
            }
            found = matchAt(segment, text, from);
            if (found != std::string_view::npos) {
                break;
            }
        }
        if (found == std::string_view::npos) {
            return false;
        }
        at = found;
    }
    if (trailingStar_) {
        return true;
    }
    // The last segment ends the text: some start at or after `at` ends there.
    const Segment& end = segments_.back();
    if (!end.hasAnyChar) {
        return text.size() - at >= end.bytes.size() && text.ends_with(end.bytes);
    }
    for (std::size_t from = at; from <= text.size();
         from += from < text.size() ? charLength(static_cast<unsigned char>(text[from])) : 1) {
        if (matchAt(end, text, from) == text.size()) {
            return true;
        }
    }
    return false;
}

}  // namespace korvantis

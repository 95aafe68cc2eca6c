#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace korvantis {

// A rule's value with its wildcards: `*` any run of characters (also none),
// `?` exactly one UTF-8 character; `\*`, `\?` and `\\` stand for the
// character itself, and a `\` before anything else is itself. Compared byte
// for byte: a pattern made `folded` has its ASCII letters in lower case and
// is matched against folded text.
class WildcardPattern {
  public:
    enum class Anchor { whole, contains, startsWith, endsWith };
    WildcardPattern(std::string_view value, Anchor anchor, bool folded);

    bool matches(std::string_view text) const;
    // A pattern without `?` and without `*` inside: matched by a plain search.
    bool isLiteral() const { return literal_; }
    // A literal pattern's bytes, and whether it must end the text.
    std::string_view literal() const {
        return segments_.empty() ? std::string_view{} : std::string_view(segments_[0].bytes);
    }
    bool endsText() const { return !trailingStar_; }
    // Whether text may come before the first run (a star leads).
    bool startsAnywhere() const { return leadingStar_; }
    // The same for every two patterns that match alike: their stars and
    // runs, `?` written as a byte of its own.
    std::string sameness() const;

  private:
    // A run between stars: literal bytes, with `?` where kAnyChar stands.
    struct Segment {
        std::string bytes;
        std::vector<bool> anyChar;  // per byte of `bytes`
        bool hasAnyChar = false;
    };
    // The end of `segment` matched at text[at], or npos.
    static std::size_t matchAt(const Segment& segment, std::string_view text, std::size_t at);

    std::vector<Segment> segments_;
    bool leadingStar_ = false;
    bool trailingStar_ = false;
    bool literal_ = false;
    bool matchesAll_ = false;  // no segments: only stars
};

}  // namespace korvantis

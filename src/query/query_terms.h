#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace korvantis {

// One term of a query as written: split at spaces and tabs outside double
// quotes.
struct WrittenTerm {
    std::string_view written;        // as it stands in the query, quotes included
    std::string text;                // the quotes removed
    std::size_t unquotedPrefix = 0;  // how many of text's first characters stood outside quotes

    // A term of more than one character starting with an unquoted `-`.
    bool negated() const;
    // The word before an unquoted `:` (after the `-` of a negation), as
    // written; empty when there is none. Whether it names a key is the
    // language's to say.
    std::string_view keyWord() const;
    // What follows that `:` (the whole text, less the `-` of a negation,
    // when there is no key word).
    std::string_view value() const;
    // Whether keyWord() is `foldedKey` in any ASCII case.
    bool hasKey(std::string_view foldedKey) const;
};

struct WrittenTerms {
    std::vector<WrittenTerm> terms;
    bool balanced = true;  // false when a quote is never closed: the last term runs to the end
};

WrittenTerms splitQueryTerms(std::string_view query);

}  // namespace korvantis
